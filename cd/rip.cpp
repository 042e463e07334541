// The track and sector rippers: TOC look-up, the read offset's shift, the double-buffered READ CD
// loop, the secure loop (two passes compared, doubtful sectors read again) and the widening of CD
// samples into the internal sample form.
#include "cd/rip.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cd/scsi.h"
#include "cd/toc.h"
#include "core/sink_adapt.h"
#include "store/settingnames.h"
#include "support/trace.h"

namespace {

// Secure reading: both passes run over a stretch of this many sectors (6.3 MB) before the next
// one, a read this far away (10 MB) empties the drive's cache, and a doubtful sector gets at
// most this many further reads.
constexpr uint32_t kStretchSectors = 2700;
constexpr uint32_t kFarSectors = 4500;
constexpr int kMaxRereads = 16;
// Read offsets beyond this (about 23 s) are taken as this.
constexpr int kMaxOffset = 1 << 20;

// What the loop needs from its surroundings: the stop test, the wait and the progress bar.
class RipControl {
  public:
    virtual ~RipControl() = default;
    virtual bool Stop() = 0;
    virtual int Wait(LWaitable& event, uint32_t ms) = 0;
    virtual void Progress(double fraction) {}
};

class DialogControl : public RipControl {
  public:
    explicit DialogControl(LProgressDialog* dlg) : dlg_(dlg) {}
    bool Stop() override { return dlg_->PumpMessages(); }
    int Wait(LWaitable& event, uint32_t ms) override { return dlg_->WaitForObject(event, ms); }
    void Progress(double fraction) override { dlg_->SetProgress(fraction); }

  private:
    LProgressDialog* dlg_;
};

class ThreadControl : public RipControl {
  public:
    explicit ThreadControl(LThread* thread) : thread_(thread) {}
    bool Stop() override { return thread_->StopRequested(); }
    int Wait(LWaitable& event, uint32_t ms) override {
        return thread_->StopSignal().WaitSignalDual(event, ms);
    }

  private:
    LThread* thread_;
};

// The fixed buffers of one extraction: two sector buffers and a conversion buffer for each; the
// secure loop's sector hashes and C2 marks of a stretch's first pass, and the hashes of one
// doubtful sector's reads.
struct RipBuffers {
    alignas(16) int16_t sectors[2][LCD_MAX_READ_SECTORS * LCD_SECTOR_BYTES / 2];
    int32_t wide[2][2 * LSOUND_BLOCK_FRAMES];
    uint64_t firstPass[kStretchSectors];
    bool firstFlagged[kStretchSectors];
    uint8_t flagged[LCD_MAX_READ_SECTORS];
    uint64_t tries[kMaxRereads + 2];
    bool triesClean[kMaxRereads + 2];
};

// The frames to deliver, counted in the drive's stream (frame 0 is sector 0 as the drive
// delivers it): zeros first, then the frames [from, to) read, then zeros again.
struct RipWindow {
    int64_t lead = 0, from = 0, to = 0, trail = 0;
    uint32_t firstSector = 0, endSector = 0;  // the sectors that hold [from, to)
};

RipWindow MakeWindow(const LCDROMRipSectors& data) {
    RipWindow w;
    const int offset = std::clamp(data.offset, -kMaxOffset, kMaxOffset);
    const int64_t a = int64_t(data.firstSector) * LCD_SECTOR_FRAMES + offset;
    const int64_t b = std::max<int64_t>(int64_t(data.endSector) * LCD_SECTOR_FRAMES + offset, a);
    const int64_t disc = data.leadOut ? int64_t(data.leadOut) * LCD_SECTOR_FRAMES : INT64_MAX;
    w.from = std::clamp<int64_t>(a, 0, disc);
    w.to = std::clamp<int64_t>(b, w.from, disc);
    w.lead = std::min(w.from, b) - a;
    w.trail = b - a - w.lead - (w.to - w.from);
    if (w.to > w.from) {
        w.firstSector = uint32_t(w.from / LCD_SECTOR_FRAMES);
        w.endSector = uint32_t((w.to + LCD_SECTOR_FRAMES - 1) / LCD_SECTOR_FRAMES);
    }
    return w;
}

// Sends frames in pieces of at most 8192 through conversion buffer b; null `in`: zeros.
void Send(RipBuffers& buf, int b, const int16_t* in, int64_t frames, LSoundSinkBase* sink) {
    if (!sink) return;
    int32_t* wide = buf.wide[b];
    if (!in) std::fill_n(wide, 2 * LSOUND_BLOCK_FRAMES, 0);
    while (frames > 0) {
        int32_t piece = int32_t(std::min<int64_t>(frames, LSOUND_BLOCK_FRAMES));
        if (in) {
            for (int32_t i = 0; i < 2 * piece; ++i)
                wide[i] = int32_t(uint32_t(int32_t(in[i])) << 4);
            in += 2 * piece;
        }
        sink->Write(wide, piece);
        frames -= piece;
    }
}

// Delivers what of the n sectors from lba on in `in` lies inside the window.
void Deliver(RipBuffers& buf, int b, const int16_t* in, uint32_t lba, int n, const RipWindow& w,
             LSoundSinkBase* sink) {
    if (n <= 0) return;
    const int64_t start = int64_t(lba) * LCD_SECTOR_FRAMES;
    const int64_t from = std::max(start, w.from);
    const int64_t to = std::min(start + int64_t(n) * LCD_SECTOR_FRAMES, w.to);
    if (to > from) Send(buf, b, in + 2 * (from - start), to - from, sink);
}

// The drive and its waits, shared by both loops.
class Reader {
  public:
    Reader(RipControl& control, LSCSI& drive) : control_(control), drive_(drive) {}

    // Waits for the running command: 0, or its failure, a stop or a time-out. `refused` tells
    // a command the drive answered with an error from one that never ended.
    int Wait(bool* refused = nullptr) {
        int w = control_.Wait(drive_.CompletionEvent(), LCDGetTimeouts().readMs);
        if (w == LPROCESS_OK && drive_.CommandFailed()) {
            w = LPROCESS_FAILED;
            if (refused) *refused = true;
        }
        return w;
    }

    // Reads n sectors into `out` and waits, with C2 pointers while the drive gives them (the
    // first refusal turns them off): flagged[i] tells sector i was not read cleanly.
    // `refused` (may be null) tells a read the drive answered with an error.
    int Read(uint32_t lba, int n, int16_t* out, uint8_t* flagged, bool* refusedOut = nullptr) {
        for (;;) {
            const bool c2 = c2_;
            int status = ProcessSCSICDReadDASectors(drive_, lba, n, out, c2);
            bool refused = false;
            if (status == LPROCESS_OK) status = Wait(&refused);
            if (refusedOut) *refusedOut = refused;
            if (c2 && !c2Known_ && refused) {
                LTrace("RipSecure the drive refuses C2 error pointers");
                c2_ = false, c2Known_ = true;
                continue;
            }
            if (status != LPROCESS_OK) return status;
            c2Known_ = true;
            std::fill_n(flagged, n, 0);
            if (c2) Unpack(out, n, flagged);
            return LPROCESS_OK;
        }
    }
    int BlockSectors() const { return c2_ ? LCD_MAX_C2_READ_SECTORS : LCD_MAX_READ_SECTORS; }
    void UseC2(bool on) { c2_ = on; }

  private:
    // Moves each sector's audio to its plain place and marks the sectors with any error bit.
    static void Unpack(int16_t* samples, int n, uint8_t* flagged) {
        auto* bytes = reinterpret_cast<uint8_t*>(samples);
        for (int i = 0; i < n; ++i) {
            const uint8_t* c2 = bytes + size_t(i) * LCD_C2_SECTOR_BYTES + LCD_SECTOR_BYTES;
            flagged[i] = std::any_of(c2, c2 + LCD_C2_BYTES, [](uint8_t v) { return v != 0; });
            std::memmove(bytes + size_t(i) * LCD_SECTOR_BYTES,
                         bytes + size_t(i) * LCD_C2_SECTOR_BYTES, LCD_SECTOR_BYTES);
        }
    }

    RipControl& control_;
    LSCSI& drive_;
    bool c2_ = false, c2Known_ = false;
};

// The one-read path: double-buffered, each block delivered while the next one is read.
int PlainLoop(RipControl& control, LSCSI& drive, RipBuffers& buf, const RipWindow& w,
              LSoundSinkBase* sink) {
    Reader reader(control, drive);
    const uint32_t first = w.firstSector, end = w.endSector;
    uint32_t s = first, lbaA = first, lbaB = first;
    auto left = [&](int most) { return s < end ? int(std::min<uint32_t>(end - s, most)) : 0; };

    // A read that cannot be started ends the loop with its status; so does a read that ended
    // failed (error sense, or a drive that went away), since its buffer holds no audio.
    int nA = left(13), nB = 0;
    int status = LPROCESS_OK;
    for (;;) {
        if (nA > 0) {
            status = ProcessSCSICDReadDASectors(drive, s, nA, buf.sectors[0]);
            if (status != LPROCESS_OK) break;
            lbaA = s;
            s += uint32_t(nA);
        }
        Deliver(buf, 1, buf.sectors[1], lbaB, nB, w, sink);
        if (nA == 0) break;
        nB = left(LCD_MAX_READ_SECTORS);
        if (control.Stop()) nB = 0;
        if ((status = reader.Wait()) != LPROCESS_OK) break;
        if (nB > 0) {
            status = ProcessSCSICDReadDASectors(drive, s, nB, buf.sectors[1]);
            if (status != LPROCESS_OK) break;
            lbaB = s;
            s += uint32_t(nB);
        }
        Deliver(buf, 0, buf.sectors[0], lbaA, nA, w, sink);
        if (nB == 0) break;
        control.Progress(double(s - first) / double(end - first));
        nA = left(LCD_MAX_READ_SECTORS);
        if (control.Stop()) nA = 0;
        if ((status = reader.Wait()) != LPROCESS_OK) break;
    }
    return status;
}

uint64_t SectorHash(const int16_t* sector) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(sector);
    uint64_t h = 0x243F6A8885A308D3ull;
    for (int i = 0; i < LCD_SECTOR_BYTES; i += 8) {
        uint64_t v;
        std::memcpy(&v, bytes + i, 8);
        h = (h ^ v) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
    }
    return h;
}

// The secure loop: each stretch is read twice, the second pass after a read far away, and a
// sector whose two reads differ, that came with C2 errors or that the drive refused, is read
// again (each time after a read far away) until a clean read agrees with an earlier clean one.
class SecureLoop {
  public:
    SecureLoop(RipControl& control, LSCSI& drive, RipBuffers& buf, const RipWindow& w,
               const LCDROMRipSectors& data, LRipReport& report)
        : control_(control),
          reader_(control, drive),
          buf_(buf),
          w_(w),
          data_(data),
          report_(report) {
        reader_.UseC2(true);
    }

    int Run() {
        const uint32_t first = w_.firstSector, end = w_.endSector;
        for (uint32_t a = first, b; a < end; a = b) {
            b = std::min(end, a + kStretchSectors);
            int status = Pass(a, b, false);
            if (status == LPROCESS_OK) status = EmptyCache(a);
            if (status == LPROCESS_OK) status = Pass(a, b, true);
            if (status != LPROCESS_OK) return status;
        }
        return LPROCESS_OK;
    }

  private:
    // One pass over the sectors [a, b): the first keeps each sector's hash and C2 mark, the
    // second compares, settles the doubtful sectors and delivers.
    int Pass(uint32_t a, uint32_t b, bool second) {
        for (uint32_t s = a; s < b;) {
            if (control_.Stop()) return LPROCESS_STOPPED;
            const int n = int(std::min<uint32_t>(uint32_t(reader_.BlockSectors()), b - s));
            int16_t* block = buf_.sectors[0];
            bool refused = false;
            int status = reader_.Read(s, n, block, buf_.flagged, &refused);
            if (status == LPROCESS_FAILED && refused) status = ReadEach(s, n, block);
            if (status != LPROCESS_OK) return status;
            for (int i = 0; i < n; ++i) {
                int16_t* sector = block + size_t(i) * LCD_SECTOR_BYTES / 2;
                const uint32_t k = s - a + uint32_t(i);
                const uint64_t h = SectorHash(sector);
                const bool clean = !buf_.flagged[i];
                if (!second) {
                    buf_.firstPass[k] = h, buf_.firstFlagged[k] = !clean;
                    continue;
                }
                if (h == buf_.firstPass[k] && clean && !buf_.firstFlagged[k]) continue;
                ++report_.rereads;
                bool settled = false;
                status = Settle(s + uint32_t(i), sector, buf_.firstPass[k], !buf_.firstFlagged[k],
                                h, clean, settled);
                if (status != LPROCESS_OK) return status;
                if (!settled) {
                    report_.unstable.push_back(s + uint32_t(i));
                    if (!data_.keepDamaged) return LPROCESS_FAILED;
                }
            }
            if (second) Deliver(buf_, 0, block, s, n, w_, data_.sink.get());
            s += uint32_t(n);
            done_ += uint32_t(n);
            control_.Progress(double(done_) / (2.0 * double(w_.endSector - w_.firstSector)));
        }
        return LPROCESS_OK;
    }

    // A block the drive refused, sector by sector: a sector it refuses counts as read with
    // errors (zeros), to be read again. A block of which no sector reads means the drive fails.
    int ReadEach(uint32_t s, int n, int16_t* block) {
        int readable = 0;
        for (int i = 0; i < n; ++i) {
            int16_t* sector = block + size_t(i) * LCD_SECTOR_BYTES / 2;
            bool refused = false;
            const int status = reader_.Read(s + uint32_t(i), 1, sector, &buf_.flagged[i], &refused);
            if (status == LPROCESS_OK) {
                ++readable;
                continue;
            }
            if (!refused) return status;  // a stop or a time-out
            std::fill_n(sector, LCD_SECTOR_BYTES / 2, 0);
            buf_.flagged[i] = 1;
        }
        return readable == 0 && n > 1 ? LPROCESS_FAILED : LPROCESS_OK;
    }

    // Reads the sector again, up to 16 times, until a clean read agrees with an earlier clean
    // one, which then replaces `sector`; settled tells whether one did.
    int Settle(uint32_t lba, int16_t* sector, uint64_t h1, bool clean1, uint64_t h2, bool clean2,
               bool& settled) {
        int count = 0;
        auto remember = [&](uint64_t h, bool clean) {
            buf_.tries[count] = h, buf_.triesClean[count] = clean, ++count;
        };
        remember(h1, clean1);
        remember(h2, clean2);
        int16_t* again = buf_.sectors[1];
        for (int k = 0; k < kMaxRereads; ++k) {
            if (control_.Stop()) return LPROCESS_STOPPED;
            int status = EmptyCache(lba);
            if (status != LPROCESS_OK) return status;
            uint8_t flagged = 0;
            status = reader_.Read(lba, 1, again, &flagged);
            if (status == LPROCESS_STOPPED) return status;
            if (status != LPROCESS_OK) continue;  // a read that failed agrees with nothing
            const uint64_t h = SectorHash(again);
            for (int j = 0; j < count && !flagged; ++j) {
                if (buf_.triesClean[j] && buf_.tries[j] == h) {
                    std::memcpy(sector, again, LCD_SECTOR_BYTES);
                    settled = true;
                    return LPROCESS_OK;
                }
            }
            remember(h, !flagged);
        }
        settled = false;
        return LPROCESS_OK;
    }

    // Reads one sector far from lba, so that the drive's next read of lba cannot come from its
    // cache. Only a stop counts; the read's own outcome does not matter.
    int EmptyCache(uint32_t lba) {
        const uint32_t disc = data_.leadOut ? data_.leadOut : w_.endSector;
        uint32_t far;
        if (disc > 2 * kFarSectors)
            far = lba >= kFarSectors ? lba - kFarSectors : lba + kFarSectors;
        else
            far = lba < disc / 2 ? disc - 1 : 0;
        uint8_t flagged = 0;
        int status = reader_.Read(far, 1, buf_.sectors[1], &flagged);
        return status == LPROCESS_STOPPED ? status : LPROCESS_OK;
    }

    RipControl& control_;
    Reader reader_;
    RipBuffers& buf_;
    const RipWindow& w_;
    const LCDROMRipSectors& data_;
    LRipReport& report_;
    uint32_t done_ = 0;
};

int RipLoop(RipControl& control, LCDROMRipSectors& data) {
    // The buffers outlive the drive object, which lets go of any request still running.
    std::unique_ptr<RipBuffers> buffers(new RipBuffers);
    LSCSI drive;
    if (!drive.OpenCDROMDrive(data.nDrive)) {
        char text[96];
        std::snprintf(text, sizeof text,
                      "Process(LCDROMRipSectors) scsi.OpenCDROMDrive FAILED Data.nDrive=%d",
                      data.nDrive);
        LTrace(text);
        return LPROCESS_FAILED;
    }
    RipBuffers& buf = *buffers;
    LSoundSinkBase* sink = data.sink.get();
    const RipWindow w = MakeWindow(data);
    LRipReport own;
    LRipReport& report = data.report ? *data.report : own;
    Send(buf, 0, nullptr, w.lead, sink);
    int status = data.secure ? SecureLoop(control, drive, buf, w, data, report).Run()
                             : PlainLoop(control, drive, buf, w, sink);
    if (status == LPROCESS_OK) status = control.Stop() ? LPROCESS_STOPPED : LPROCESS_OK;
    if (status == LPROCESS_OK) Send(buf, 0, nullptr, w.trail, sink);
    drive.Close();
    return status;
}

}  // namespace

int LRipSectors(LProgressDialog* dlg, LCDROMRipSectors* data) {
    char text[LMAX_PATH + 16];
    std::snprintf(text, sizeof text, "Loading %s", data->name);
    dlg->SetText(text, 0);
    dlg->SetText("Ripping Digital Audio...", 1);
    DialogControl control(dlg);
    return RipLoop(control, *data);
}

int LRipSectorsOnThread(LThread* thread, LCDROMRipSectors* data) {
    ThreadControl control(thread);
    int status = RipLoop(control, *data);
    return thread->StopRequested() ? LPROCESS_STOPPED : status;
}

int LRipSectorsFeeding(LProgressDialog* progress, LCDROMRipSectors* data) {
    DialogControl control(progress);
    int status = RipLoop(control, *data);
    return progress->PumpMessages() ? LPROCESS_STOPPED : status;
}

int LRipTrack(LProgressDialog* dlg, LCDROMRipTrack* data) {
    char text[96];
    std::snprintf(text, sizeof text, "Loading CD Track %d", data->nTrack + 1);
    dlg->SetText(text, 0);
    dlg->SetText("Getting Track Information...", 1);

    uint8_t tracks = 0;
    uint32_t addresses[256] = {};
    {
        LSCSI drive;
        if (!drive.OpenCDROMDrive(data->nDrive)) {
            std::snprintf(text, sizeof text,
                          "Process(LCDROMRipTrack) scsi.OpenCDROMDrive FAILED Data.nDrive=%d",
                          data->nDrive);
            LTrace(text);
            return LPROCESS_FAILED;
        }
        int status = ProcessSCSICDGetTOC(dlg, drive, tracks, addresses);
        if (status != LPROCESS_OK) {
            LTrace("Process(LCDROMRipper) GetTOC FAILED");
            return status == LPROCESS_STOPPED ? status : LPROCESS_FAILED;
        }
        if (data->nTrack >= tracks) {
            LTrace("Process(LCDROMRipper) Data.nTrack >= nTracks");
            return LPROCESS_FAILED;
        }
    }
    LRipReport own;
    LRipReport& report = data->report ? *data->report : own;
    report = LRipReport();
    LCDROMRipSectors sectors;
    sectors.nDrive = data->nDrive;
    sectors.firstSector = addresses[data->nTrack];
    sectors.endSector = addresses[data->nTrack + 1];
    sectors.leadOut = addresses[tracks];
    sectors.offset = std::clamp<int>(SettingsRead(kReadOffset), -kMaxOffset, kMaxOffset);
    sectors.secure = SettingsRead(kSecureRip);
    sectors.keepDamaged = SettingsRead(kKeepDamaged);
    sectors.report = &report;
    report.offset = sectors.offset;
    std::snprintf(sectors.name, sizeof sectors.name, "Track %d", data->nTrack + 1);
    LSinkRef rate, chain;
    LSinkConvertRate::OpenSink(rate, 44100, data->sink);
    LSinkConvertChannels::OpenSink(chain, rate, 2);
    if (!chain) return LPROCESS_FAILED;
    sectors.sink = chain;
    int status = LRipSectors(dlg, &sectors);
    if (!report.unstable.empty() && sectors.keepDamaged) report.damaged = true;
    if (!report.unstable.empty() && !sectors.keepDamaged) {
        std::snprintf(text, sizeof text,
                      "Track %d cannot be read: sector %u never reads the same twice.",
                      data->nTrack + 1, unsigned(report.unstable.front()));
        dlg->ShowError(text);
        return LPROCESS_FAILED;
    }
    // The adapters write their tail and the caller's sink completes its file (header sizes,
    // encoder exit), which may find that it could not.
    if (status == LPROCESS_OK) status = chain->IsUnusable() ? LPROCESS_FAILED : chain->Finish(dlg);
    return status;
}
