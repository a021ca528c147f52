#include "online/OnlineUpdate.h"

#include <chrono>
#include <functional>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "common/AppError.h"
#include "common/Paths.h"
#include "common/Strings.h"
#include "online/BackgroundDigest.h"
#include "online/CabinetChoice.h"
#include "online/OnlineTexts.h"
#include "online/ProgressDisplay.h"
#include "online/RunningLog.h"
#include "run/RunTexts.h"
#include "signing/CabinetSignature.h"
#include "signing/SignatureFile.h"

namespace {

constexpr std::size_t kReadSize = 512;
// How long the download waits for the server's next bytes between two yields to the window.
constexpr std::chrono::milliseconds kReadWaitSlice{50};
// The listing's index is a 16-bit signed counter.
constexpr std::size_t kMostOfferedCabinets = std::numeric_limits<std::int16_t>::max();
constexpr std::int32_t kFewestFilesOfFullUpgrade = 3;
// Records of one listing, folders and skipped names included: a server whose listing never
// ends must not hold the program for ever, whatever the internet functions underneath bound.
constexpr std::size_t kMostListedRecords = 200000;

[[noreturn]] void Raise(std::int32_t code, const char* description) {
    throw AppError(code, online::kSource, description);
}

std::string BeforeNul(const std::string& text) { return text.substr(0, text.find('\0')); }

// One run of the online update. Holds the run's handles and choice; the window state stays in
// the context.
class OnlineUpdateRun {
public:
    OnlineUpdateRun(UpgradeContext& context, OnlineUpdateServices& services)
        : ctx_(context),
          view_(context.view),
          state_(context.state),
          net_(services.internet),
          files_(services.files),
          services_(services),
          log_(context.view) {}

    bool Run() {
        view_.SetCursor(Cursor::Wait);
        try {
            Connect();
            ListCabinets();
            ChooseCabinet();
            Download();
            CheckSignature();
            Install();
            return Finish();
        } catch (const AppError& error) {
            return Fail(error.number(), error.description());
        } catch (const std::bad_alloc&) {
            return Fail(online::code::kOutOfMemory, online_text::kOutOfMemory);
        } catch (const std::exception& error) {
            return Fail(online::code::kInternalError, error.what());
        }
    }

private:
    void Note(const std::string& details) { ctx_.log.Write("online", RunLog::Escape(details)); }

    void CloseIfOpen(InternetHandle& handle) {
        if (handle == kNoHandle) return;
        // Closing a transfer waits for the server's word on it, closing a connection for the
        // answer to its goodbye: a server that has gone silent holds either until its time-out.
        OffUiThread([&] { net_.CloseHandle(handle); });
        handle = kNoHandle;  // closed handles count as no longer open: never closed twice
    }

    // Whatever waits for the server (up to its time-out when it is silent) or for the disk runs
    // off the window's thread, so that the window keeps answering meanwhile: painted, with the
    // wait cursor, its input thrown away and close requests refused, as the database phase
    // runs. The download's loop stays on the window's thread, yielding between its reads.
    void OffUiThread(const std::function<void()>& work) { view_.RunOffUiThread(work); }

    void Connect() {
        log_.Show(online_text::kConnecting);
        OffUiThread([&] {
            net_.Autodial();
            internet_ = net_.Open(online::kAgent);
        });
        view_.SetCursor(Cursor::AppStarting);
        if (internet_ == kNoHandle) Raise(online::code::kNoInternet, online_text::kNoInternet);

        const UpdateServer& server = services_.server;
        Note("connecting to " + server.host + ":" + std::to_string(server.port));
        OffUiThread([&] {
            connection_ = net_.Connect(internet_, server.host, server.port, online::kServerUser,
                                       online::kServerPassword, true);
        });
        view_.SetCursor(Cursor::AppStarting);
        if (connection_ == kNoHandle) {
            Note("connection failed: " + net_.LastError());
            CloseIfOpen(internet_);
            Raise(online::code::kNoServer, online_text::kNoServer);
        }
        log_.AppendLine(online_text::kConnected, false);

        std::optional<std::string> directory;
        OffUiThread([&] { directory = net_.GetCurrentDirectory(connection_); });
        // The directory is read from a buffer up to its NUL; a buffer the call left untouched
        // has none, and cutting at a missing NUL is an invalid argument.
        if (!directory) Raise(online::code::kInvalidArgument, online_text::kInvalidArgument);
        currentDirectory_ = BeforeNul(*directory);
        Note("connected, current directory " + currentDirectory_);
    }

    void ListCabinets() {
        const std::string mask = SearchMask(currentDirectory_);
        log_.AppendLine(online_text::kSearching);
        FindRecord record;
        OffUiThread([&] { transfer_ = net_.FindFirst(connection_, mask, record); });
        if (transfer_ == kNoHandle) {
            Note("nothing found for " + mask + ": " + net_.LastError());
            CloseIfOpen(connection_);
            CloseIfOpen(internet_);
            Raise(online::code::kNothingListed, online_text::kNothingListed);
        }
        log_.AppendLine(online_text::kOffered);
        std::size_t records = 0;
        do {
            if (++records > kMostListedRecords) {
                Note("listing of " + mask + " ended after " + std::to_string(kMostListedRecords) +
                     " records: it does not end");
                CloseIfOpen(transfer_);
                CloseIfOpen(connection_);
                CloseIfOpen(internet_);
                Raise(online::code::kNothingListed, online_text::kNothingListed);
            }
            Offer(record);
        } while (net_.FindNext(transfer_, record));
        CloseIfOpen(transfer_);

        std::string listed;
        for (const std::string& entry : offered_) listed += " " + entry;
        Note("listing of " + mask + ":" + (listed.empty() ? " no files" : listed));
    }

    void Offer(const FindRecord& record) {
        const std::string name = BeforeNul(record.fileName);
        if (name.empty() || (record.attributes & kFileAttributeDirectory) != 0) return;
        // The chosen name becomes a file of the program folder, deleted and written anew: a name
        // that carries a path (a hostile or broken server) could reach any file, so it is never
        // offered. A listing of one folder has no such names.
        if (name.find_first_of("/\\") != std::string::npos) {
            Note("listed name with a path skipped: " + name);
            return;
        }
        if (offered_.size() >= kMostOfferedCabinets) {
            Raise(RuntimeError::kOverflow, RuntimeError::kOverflowText);
        }
        offered_.push_back(ListingEntry(name, record.sizeLow));
        log_.AppendBare(ReplaceAll(offered_.back(), "@", " / ") + ", ");
    }

    void ChooseCabinet() {
        // Only folders or empty names: there is no last entry to look at.
        if (offered_.empty()) {
            Raise(RuntimeError::kSubscriptOutOfRange, RuntimeError::kSubscriptOutOfRangeText);
        }
        const std::string key = VersionKey(state_.programVersion);
        const CabinetChoice choice = ::ChooseCabinet(offered_, key);
        int index = choice.index;
        if (index < 0 && choice.offerReinstall) {
            const MsgAnswer answer =
                view_.ShowMessage(online_text::kReinstallQuestion, MsgIcon::Question,
                                  MsgButtons::YesNo, online_text::kReinstallTitle);
            if (answer == MsgAnswer::Yes) {
                index = static_cast<int>(offered_.size()) - 1;
                state_.reinstallChosen = true;
            }
            Note(std::string("no newer cabinet for ") + key + "; reinstall of the last one " +
                 (answer == MsgAnswer::Yes ? "accepted" : "declined"));
        }
        if (index < 0) {
            Note("no cabinet upgrades from " + key);
            Raise(online::code::kNoNewerVersion, online_text::kNoNewerVersion);
        }
        chosenName_ = EntryName(offered_[static_cast<std::size_t>(index)]);
        sizeText_ = EntrySizeText(offered_[static_cast<std::size_t>(index)]);
        log_.AppendLine(online_text::kChosen + chosenName_);
        Note("chosen cabinet " + chosenName_ + ", listed size " + sizeText_);
    }

    void Download() {
        OffUiThread([&] { transfer_ = net_.OpenFile(connection_, chosenName_); });
        if (transfer_ == kNoHandle) {
            Note("cannot open " + chosenName_ + ": " + net_.LastError());
            CloseIfOpen(connection_);
            CloseIfOpen(internet_);
            Raise(online::code::kCannotOpen, online_text::kCannotOpen);
        }
        log_.AppendLine(online_text::kDownloading + chosenName_ + online_text::kPleaseWait);
        const std::int64_t size = LeadingNumber(sizeText_);
        view_.SetProgressMax(static_cast<float>(size));
        ShowByteCounters(view_);
        localPath_ = JoinPath(ctx_.programFolder, chosenName_);
        if (files_.Exists(localPath_)) files_.Delete(localPath_);
        view_.SetText(Control::LblUkupno1, std::to_string(size));
        view_.SetProgressValue(0);
        // From here until the size check passes, any failure leaves a partial file to remove.
        downloading_ = true;
        localFile_ = files_.OpenForWrite(localPath_);
        // The digest is taken of the bytes as they are written, so that checking the signature
        // adds almost nothing to the download.
        if (services_.trust.Checks()) {
            digest_ = std::make_unique<BackgroundDigest>(services_.trust.crypto->NewSha256());
        }
        state_.busy = true;

        // The count is kept exactly: the bar's single-precision value cannot tell sizes above
        // 16 MiB apart byte for byte, and the size check below must.
        std::int64_t received = 0;
        char buffer[kReadSize];
        std::size_t n = 0;
        do {
            view_.DoEvents();
            WaitForData(received);
            n = net_.Read(transfer_, buffer, kReadSize);
            // The listing promised `size` bytes: a server that sends more (one that streams
            // without end, say) is stopped at the first byte too many, before it is written,
            // so that it cannot fill the disk.
            if (static_cast<std::int64_t>(n) > size - received) {
                Note("the server sent more than the listed " + std::to_string(size) +
                     " bytes; stopped after " + std::to_string(received));
                Raise(online::code::kSizeMismatch, online_text::kSizeMismatch);
            }
            localFile_->Write(buffer, n);
            if (digest_) digest_->Add(buffer, n);
            received += static_cast<std::int64_t>(n);
            view_.SetProgressValue(static_cast<float>(received));
            view_.SetText(Control::LblUkupno3, std::to_string(received));
            view_.Refresh(Control::LblUkupno3);
            StopIfCancelled(received);
        } while (n == kReadSize);
        localFile_->Close();
        Note("received " + std::to_string(received) + " of " + std::to_string(size) + " bytes" +
             (received == size ? "" : "; " + net_.LastError()));
        if (received != size) Raise(online::code::kSizeMismatch, online_text::kSizeMismatch);
        downloading_ = false;
        state_.busy = false;
        received_ = received;

        CloseIfOpen(transfer_);
        if (services_.trust.Checks()) FetchSignature();
        CloseIfOpen(connection_);
        CloseIfOpen(internet_);
        net_.AutodialHangup();
    }

    // A server that stops sending must not stop the window: the wait for the next piece is
    // made in short slices with a yield between them, so that the window answers, and a click
    // on Odustani is taken, however long the server keeps silent. The back-end ends the wait
    // when its stall limit has passed; the read then reports the failure.
    void WaitForData(std::int64_t received) {
        while (!net_.WaitReadable(transfer_, kReadSize, kReadWaitSlice)) {
            view_.DoEvents();
            StopIfCancelled(received);
        }
    }

    void StopIfCancelled(std::int64_t received) {
        if (!state_.cancelRequested) return;
        Note("cancelled by the user after " + std::to_string(received) + " bytes");
        Raise(online::code::kCancelled, online_text::kCancelled);
    }

    // The cabinet's signature file, over the same connection. It is small: the read stops one
    // byte past the largest a signature file may be, which the check then refuses.
    void FetchSignature() {
        const std::string name = chosenName_ + std::string(kSignatureSuffix);
        // Opened and read whole off the window's thread: it is small, so there is no progress
        // to show.
        OffUiThread([&] {
            transfer_ = net_.OpenFile(connection_, name);
            if (transfer_ == kNoHandle) return;
            char buffer[kReadSize];
            std::size_t n = 0;
            do {
                n = net_.Read(transfer_, buffer, kReadSize);
                signature_.append(buffer, n);
            } while (n == kReadSize && signature_.size() <= kMostSignatureFileBytes);
        });
        if (transfer_ == kNoHandle) {
            Refuse("no signature file " + name + " on the server: " + net_.LastError());
        }
        CloseIfOpen(transfer_);
        Note("signature file " + name + ", " + std::to_string(signature_.size()) + " bytes");
    }

    // The downloaded cabinet is installed only when the maker signed it, under this name and
    // at this size. A program without keys installs it unchecked, as it always did.
    void CheckSignature() {
        const UpdateTrust& trust = services_.trust;
        if (!trust.Checks()) {
            Note("cabinet " + chosenName_ + " not checked: no update key is built in");
            return;
        }
        const Sha256Digest digest = digest_->Finish();
        digest_.reset();
        if (!trust.keysFault.empty()) Refuse(trust.keysFault);
        const SignatureVerdict verdict = VerifyCabinetSignature(
            *trust.crypto, trust.keys, signature_, chosenName_, received_, digest);
        if (!verdict.valid) {
            Refuse(verdict.reason + (verdict.keyId.empty() ? "" : " (key " + verdict.keyId + ")"));
        }
        Note("cabinet " + chosenName_ + " verified: " + verdict.reason);
    }

    [[noreturn]] void Refuse(const std::string& reason) {
        Note("cabinet " + chosenName_ + " refused: " + reason);
        Raise(online::code::kNotMakers, online_text::kNotMakers);
    }

    void Install() {
        log_.AppendLine(online_text::kInstalling + chosenName_ + online_text::kPleaseWait);
        files_.SetNormalAttributes(JoinPath(ctx_.programFolder, run_text::kProgramFileName));
        chosenName_ = localPath_;

        std::unique_ptr<IUpdateCabinet> cabExt = services_.makeCabinet();
        cabExt->SetCabName(chosenName_);
        std::int32_t count = 0;
        OffUiThread([&] { count = cabExt->FileCount(); });
        if (count < kFewestFilesOfFullUpgrade) state_.endAfterInstall = true;
        Note("installing " + chosenName_ + ", " + std::to_string(count) + " files");
        bool extracted = false;
        OffUiThread([&] { extracted = cabExt->Extract(); });
        cabExt.reset();
        if (!extracted) {
            result_ = false;
            // The cabinet object has already shown its own two boxes.
            Raise(online::code::kNotUnpacked, "");
        }
        result_ = true;
        Note("installed " + chosenName_);
    }

    bool Finish() {
        ResetProgressDisplay(view_);
        view_.SetText(Control::LblPozor, online_text::kAlmostDone);
        view_.SetCursor(Cursor::Default);
        return result_;
    }

    bool Fail(std::int32_t code, const std::string& description) {
        Note("failed with " + std::to_string(code) + "/" + description);
        view_.SetCursor(Cursor::Default);
        net_.AutodialHangup();
        result_ = false;
        state_.busy = false;
        state_.cancelRequested = false;
        state_.endAfterInstall = false;
        CloseIfOpen(transfer_);
        CloseIfOpen(connection_);
        CloseIfOpen(internet_);
        ResetProgressDisplay(view_);
        const bool quiet = code == online::code::kNoNewerVersion ||
                           code == online::code::kNotUnpacked || code == online::code::kCancelled;
        if (!quiet) {
            view_.ShowMessage(online_text::kGeneralFailure, MsgIcon::Error, MsgButtons::Ok,
                              std::nullopt);
        }
        // Not only a cancel or a short download: whatever ended the download (a full disk, a
        // failed write) leaves a partial cabinet that nothing would ever unpack.
        // A cabinet that is not the maker's is never kept beside the program either.
        if (downloading_ || code == online::code::kCancelled ||
            code == online::code::kSizeMismatch || code == online::code::kNotMakers) {
            RemovePartialFile();
        }
        view_.SetProgressValue(0);
        if (code != online::code::kNotUnpacked) {
            view_.ShowMessage(std::to_string(code) + "/" + description, MsgIcon::Warning,
                              MsgButtons::Ok, std::nullopt);
        }
        return false;
    }

    void RemovePartialFile() {
        // The failure has been reported already; a partial file that cannot be closed or
        // deleted is only noted, since a later download deletes it before writing anew. A
        // failed close (its last bytes unwritten) is no reason to keep the file: it is
        // deleted all the same.
        try {
            if (localFile_) localFile_->Close();
        } catch (const std::exception& error) {
            Note(std::string("partial file not closed: ") + error.what());
        }
        localFile_.reset();
        try {
            if (!localPath_.empty() && files_.Exists(localPath_)) files_.Delete(localPath_);
        } catch (const std::exception& error) {
            Note(std::string("partial file left: ") + error.what());
        }
    }

    UpgradeContext& ctx_;
    IView& view_;
    WindowState& state_;
    IInternet& net_;
    IFileSystem& files_;
    OnlineUpdateServices& services_;
    RunningLog log_;

    InternetHandle internet_ = kNoHandle;
    InternetHandle connection_ = kNoHandle;
    InternetHandle transfer_ = kNoHandle;  // the search, then the remote file
    std::string currentDirectory_;
    std::vector<std::string> offered_;
    std::string chosenName_;
    std::string sizeText_;
    std::string localPath_;
    std::unique_ptr<IBinaryWriter> localFile_;
    bool downloading_ = false;  // the local file is being written and not yet complete
    std::int64_t received_ = 0;
    std::unique_ptr<BackgroundDigest> digest_;  // while a signature is to be checked
    std::string signature_;                     // the signature file's bytes
    bool result_ = false;
};

}  // namespace

bool RunOnlineUpdate(UpgradeContext& context, OnlineUpdateServices& services) {
    OnlineUpdateRun run(context, services);
    return run.Run();
}
