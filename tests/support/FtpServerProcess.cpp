#include "support/FtpServerProcess.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

FtpServerProcess::FtpServerProcess(const std::string& root, const std::string& log,
                                   const std::vector<std::string>& options)
    : log_(log) {
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> args = {"/usr/bin/python3", TEST_SUPPORT_DIR "/ftp_server.py",
                                     "--root", root, "--log", log, "--port", "0"};
    args.insert(args.end(), options.begin(), options.end());
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        // A test that dies (a crash, a sanitizer's stop) takes its server along: left running,
        // it would keep ctest's output pipe open and hold the whole run until its time-out.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    // The server's first line is "port N" once it listens.
    FILE* stream = fdopen(out[0], "r");
    char line[64] = {};
    const bool gotLine = stream && fgets(line, sizeof line, stream);
    if (stream) fclose(stream);
    if (!gotLine || std::sscanf(line, "port %d", &port_) != 1) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        throw std::runtime_error("the FTP test server did not start");
    }
}

FtpServerProcess::~FtpServerProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

std::vector<std::string> FtpServerProcess::Commands() const {
    std::vector<std::string> commands;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) commands.push_back(line);
    return commands;
}

int UnusedLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    const int port = ntohs(address.sin_port);
    close(fd);
    return port;
}
