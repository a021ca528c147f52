#include "support/TdsTestServer.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kServer = std::string(TEST_SUPPORT_DIR) + "/tds_server";

// Reads the first line the child writes, giving up after the time-out.
std::string ReadFirstLine(int fd, int timeoutMs) {
    std::string line;
    char c = 0;
    while (true) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) {
            return line;
        }
        if (read(fd, &c, 1) != 1 || c == '\n') {
            return line;
        }
        line += c;
    }
}

std::vector<std::string> ReadLines(const std::filesystem::path& file) {
    std::vector<std::string> lines;
    std::istringstream in(TempFolder::Read(file));
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

TdsTestServer::TdsTestServer(const std::string& catalogJson,
                             const std::vector<std::string>& options) {
    const auto catalog = folder_.Write("catalog.json", catalogJson).string();
    const auto journal = (folder_.path() / "journal.jsonl").string();
    const auto state = (folder_.path() / "state.json").string();
    const auto log = (folder_.path() / "server.log").string();
    std::vector<std::string> args = {kServer,  "--port",    "0",         "--catalog", catalog,
                                      "--journal", journal, "--state", state};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) {
        throw std::runtime_error("pipe failed");
    }
    pid_ = fork();
    if (pid_ == 0) {
        // As the FTP test server: it goes with a test that dies, never holding ctest's pipes.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(out[1], 1);
        const int err = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        close(out[0]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    const std::string line = ReadFirstLine(out[0], 10000);
    close(out[0]);
    if (line.rfind("port ", 0) == 0) {
        port_ = std::stoi(line.substr(5));
    }
    if (port_ <= 0) {
        const std::string why = TempFolder::Read(log);
        Stop();
        throw std::runtime_error("tds_server did not start: " + why);
    }
}

TdsTestServer::~TdsTestServer() { Stop(); }

void TdsTestServer::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }
}

std::string TdsTestServer::ConnectionString(const std::string& database,
                                            const std::string& password) const {
    return "Driver=FreeTDS;Server=127.0.0.1;Port=" + std::to_string(port_) + ";Database=" +
           database + ";UID=sa;PWD=" + password + ";TDS_Version=7.4;ClientCharset=UTF-8;";
}

std::vector<std::string> TdsTestServer::JournalLines() const {
    return ReadLines(folder_.path() / "journal.jsonl");
}

std::vector<std::string> TdsTestServer::Statements() const {
    std::vector<std::string> statements;
    for (const auto& line : JournalLines()) {
        if (line.find("\"sql\": ") != std::string::npos) {
            statements.push_back(line);
        }
    }
    return statements;
}

std::string TdsTestServer::State() const {
    return TempFolder::Read(folder_.path() / "state.json");
}
