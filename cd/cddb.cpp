// The CDDB lookup: one connection per disc, hello, query, read and quit, within time limits.
#include "cd/cddb.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "store/settings.h"
#include "support/file.h"
#include "support/socket.h"
#include "support/trace.h"

namespace {

using Clock = std::chrono::steady_clock;

// One conversation with the server: every operation gets the time-out, cut short by what is
// left of the lookup's whole budget.
class Session {
  public:
    Session(LProgressDialog* dlg, uint32_t timeoutMs)
        : dlg_(dlg),
          timeoutMs_(timeoutMs),
          deadline_(Clock::now() +
                    std::chrono::milliseconds(uint64_t(timeoutMs) * kCDDBBudgetTimeouts)) {}

    // 0, LPROCESS_STOPPED or LPROCESS_FAILED.
    int Connect(const char* server) {
        LIPAddress address(server, kCDDBDefaultPort, dlg_, Limit());
        if (!address.IsValid() && dlg_ && dlg_->PumpMessages()) return LPROCESS_STOPPED;
        return Check(ProcessConnect(dlg_, socket_, address, true, Limit()),
                     "Process(LCDDBInfo) ProcessConnectWithPort FAILED");
    }
    int Send(const std::string& line) {
        return Check(ProcessSendString(dlg_, line.c_str(), Limit(), socket_),
                     "Process(LCDDBInfo) ProcessSendString FAILED");
    }
    int Recv() {
        int status = ProcessRecvLine(dlg_, line, Limit(), socket_);
        if (status != LPROCESS_OK) {
            std::string text = "Process(LCDDBInfo) ProcessRecvLine FAILED:";
            LTrace((text + line).c_str());
        }
        return status;
    }
    // Receives a line whose code must be 200 to 299.
    int RecvSuccess() {
        int status = Recv();
        if (status != LPROCESS_OK) return status;
        int code = CDDBReplyCode(line);
        return code >= 200 && code <= 299 ? LPROCESS_OK : LPROCESS_FAILED;
    }
    void Close() { socket_.Close(); }

    char line[260] = {};

  private:
    uint32_t Limit() const {
        auto now = Clock::now();
        if (now >= deadline_) return 0;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now).count();
        return left < timeoutMs_ ? static_cast<uint32_t>(left) : timeoutMs_;
    }
    int Check(int status, const char* trace) {
        if (status != LPROCESS_OK) LTrace(trace);
        return status;
    }

    LProgressDialog* dlg_;
    LIPSocketTCP socket_;
    uint32_t timeoutMs_;
    Clock::time_point deadline_;
};

// The first word of text into dest (at most 259 characters).
const char* CopyWord(char* dest, const char* text) {
    int n = 0;
    while (*text == ' ') ++text;
    while (*text && *text != ' ' && n < 259) dest[n++] = *text++;
    dest[n] = 0;
    return text;
}

bool IsDiscId(const char* text) {
    if (std::strlen(text) != 8) return false;
    for (const char* p = text; *p; ++p)
        if (!std::isxdigit(static_cast<unsigned char>(*p))) return false;
    return true;
}

// The exchange itself; 0 when it ran its course (matched or not), otherwise the failing status.
int Converse(Session& s, LCDDBInfo* info, const char* server, const char* discId,
             const std::string& query, LCDDBOutcome* outcome) {
    int st;
    if ((st = s.Connect(server)) || (st = s.RecvSuccess())) return st;
    if ((st = s.Send(kCDDBHelloLine)) || (st = s.RecvSuccess())) return st;
    if ((st = s.Send(query)) || (st = s.RecvSuccess())) return st;
    if (std::strlen(s.line) < 4) {
        LTrace("Process(LCDDBInfo) query result was too short");
        return LPROCESS_FAILED;
    }
    char readId[260];
    std::snprintf(readId, sizeof readId, "%s", discId);
    int code = CDDBReplyCode(s.line);
    if (code == 202) {
        std::string text = "Process(LCDDBInfo) No CDDB match found:";
        LTrace((text + s.line).c_str());
        *outcome = LCDDBOutcome::NoMatch;
        return LPROCESS_OK;
    }
    if (code == 200) {
        CopyWord(info->szCategory, s.line + 4);
    } else if (code == 211 || code == 210) {
        // A list of matches ends with ".": the first one is read, the rest only consumed.
        bool first = true;
        for (int n = 0;; ++n) {
            if (n >= kCDDBMaxReplyLines) return LPROCESS_FAILED;
            if ((st = s.Recv())) return st;
            if (s.line[0] == '.') break;
            if (first) {
                char id[260];
                CopyWord(id, CopyWord(info->szCategory, s.line));
                if (IsDiscId(id)) std::snprintf(readId, sizeof readId, "%s", id);
                first = false;
            }
        }
        if (first) return LPROCESS_FAILED;
    } else {
        return LPROCESS_FAILED;
    }
    if ((st = s.Send(CDDBReadLine(info->szCategory, readId))) || (st = s.RecvSuccess())) return st;
    LCDDBEntryParser parser(*info);
    for (int n = 0;; ++n) {
        if (n >= kCDDBMaxReplyLines) return LPROCESS_FAILED;
        if ((st = s.Recv())) return st;
        if (!parser.Feed(s.line)) break;
    }
    if (!info->szAlbumName[0]) LTrace("Process(LCDDBInfo) szAlbumName is not found");
    *outcome = LCDDBOutcome::Found;
    s.Send(kCDDBQuitLine);
    return LPROCESS_OK;
}

}  // namespace

int ProcessCDDBLookup(LProgressDialog* dlg, LCDDBInfo* info, const uint32_t* starts, int count,
                      uint32_t leadOut, LCDDBOutcome* outcome) {
    LCDDBOutcome ignored;
    if (!outcome) outcome = &ignored;
    *outcome = LCDDBOutcome::TocOnly;
    CDDBFillFromToc(*info, starts, count, leadOut);
    // Nothing of an earlier disc may survive into this one's names (the year included).
    info->szAlbumName[0] = info->szArtist[0] = info->szCategory[0] = 0;
    info->szExtendedData[0] = 0;
    info->iYear = 0;
    if (!info->bUseCDDB || count < 1 || count > 99) return LPROCESS_OK;

    char server[LMAX_PATH];
    SettingsReadString(kCDDBSection, "Server", server, kCDDBServerDefault);
    int32_t timeout = SettingsReadInt(kCDDBSection, "Timeout", int32_t(kCDDBTimeoutMs));
    if (timeout < 1 || timeout > int32_t(kCDDBTimeoutMs)) timeout = int32_t(kCDDBTimeoutMs);

    char discId[16];
    std::snprintf(discId, sizeof discId, "%08x", CDDBDiscId(starts, count, leadOut));
    std::string query = CDDBQueryLine(starts, count, leadOut);

    dlg->SetText("Connected to freedb server", 0);
    dlg->SetText(server, 1);
    if (!LIPSystemStartup()) {
        *outcome = LCDDBOutcome::Failed;
        return LPROCESS_OK;
    }
    Session session(dlg, uint32_t(timeout));
    *outcome = LCDDBOutcome::Failed;
    int status = Converse(session, info, server, discId, query, outcome);
    if (status == LPROCESS_STOPPED) *outcome = LCDDBOutcome::Cancelled;
    session.Close();
    LIPSystemShutDown();
    return LPROCESS_OK;
}

int ProcessCDDBLookup(LProgressDialog* dlg, LCDDBInfo* info, LCDDBOutcome* outcome) {
    uint32_t starts[256];
    int count = info->iTracks;
    for (int i = 0; i < count; ++i) starts[i] = info->Tracks[i].SectorStart;
    uint32_t leadOut = count > 0 ? info->Tracks[count - 1].SectorEnd : 0;
    return ProcessCDDBLookup(dlg, info, starts, count, leadOut, outcome);
}
