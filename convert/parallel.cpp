// The parallel batch: entries planned in list order on the front end's thread, converted on
// worker threads, every event and question passed back to the front end's thread.
#include "convert/parallel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "convert/cdconvert.h"
#include "convert/cdverify.h"
#include "convert/jobsteps.h"
#include "store/settingnames.h"
#include "support/thread.h"

namespace {

// Calls a worker must have made on the front end's thread: queued there and run in order, the
// worker waiting for each.
class OwnerCalls {
  public:
    // From a worker: runs call on the front end's thread and returns once it ran.
    void Run(const std::function<void()>& call) {
        Pending pending{&call};
        std::unique_lock<std::mutex> lock(mutex_);
        queue_.push_back(&pending);
        ran_.wait(lock, [&] { return pending.done; });
    }
    // On the front end's thread: runs what the workers queued.
    void Serve() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!queue_.empty()) {
            Pending* pending = queue_.front();
            queue_.pop_front();
            lock.unlock();
            (*pending->call)();
            lock.lock();
            pending->done = true;
            ran_.notify_all();
        }
    }

  private:
    struct Pending {
        const std::function<void()>* call;
        bool done = false;
    };
    std::mutex mutex_;
    std::condition_variable ran_;
    std::deque<Pending*> queue_;
};

// A running entry's progress surface: its texts and progress kept for the batch's row, a stop
// of its own (the batch's Cancel sets it), and its errors shown by the batch's surface.
class EntrySurface final : public LProgressDialog {
  public:
    EntrySurface(OwnerCalls& calls, LProgressDialog& batch)
        : LProgressDialog(batch.GetTitle()), calls_(calls), batch_(batch) {}

    bool PumpMessages() override { return stop_.IsSet(); }
    void SetText(const char*, int) override {}
    void SetProgress(double fraction) override { fraction_ = fraction; }
    int WaitTimed(uint32_t ms) override { return stop_.WaitFor(ms) ? LPROCESS_STOPPED : 0; }
    int WaitForObject(LWaitable& object, uint32_t ms) override {
        return stop_.WaitSignalDual(object, ms);
    }
    void ShowError(const char* text) override {
        const std::string message = text ? text : "";
        calls_.Run([&] { batch_.ShowError(message.c_str()); });
    }
    void RequestStop() override { stop_.Set(); }

    double Fraction() const { return fraction_; }

  protected:
    bool ProcessBody() override { return false; }

  private:
    OwnerCalls& calls_;
    LProgressDialog& batch_;
    LSignalObject stop_;
    std::atomic<double> fraction_{0.0};
};

// A running entry's events and questions, each passed to the front end on its own thread.
class EntryEvents final : public LConvertEvents {
  public:
    EntryEvents(OwnerCalls& calls, LConvertEvents& events) : calls_(calls), events_(events) {}

    void EntryStarted(int index) override {
        calls_.Run([&] { events_.EntryStarted(index); });
    }
    void EntryDone(int index) override {
        calls_.Run([&] { events_.EntryDone(index); });
    }
    void EntryVerified(int index) override {
        calls_.Run([&] { events_.EntryVerified(index); });
    }
    void EntryFailed(int index) override {
        calls_.Run([&] { events_.EntryFailed(index); });
    }
    void BatchStopped(int index) override {
        calls_.Run([&] { events_.BatchStopped(index); });
    }
    void TrackVerified(int index, int track, const LARTrackResult& result) override {
        calls_.Run([&] { events_.TrackVerified(index, track, result); });
    }
    // The entry's surface is a row of the batch's, shown or hidden with it.
    void ShowProgressSurface(LProgressDialog*, bool) override {}
    int AskCreateFolder(const char* text) override {
        int answer = LANSWER_CANCEL;
        calls_.Run([&] { answer = events_.AskCreateFolder(text); });
        return answer;
    }
    LWindowHandle GetWindow() override {
        LWindowHandle window = nullptr;
        calls_.Run([&] { window = events_.GetWindow(); });
        return window;
    }
    int AskYesNoCancel(const char* text, const char* caption) override {
        int answer = LANSWER_CANCEL;
        calls_.Run([&] { answer = events_.AskYesNoCancel(text, caption); });
        return answer;
    }
    void ShowErrorMessage(const char* text, const char* caption) override {
        calls_.Run([&] { events_.ShowErrorMessage(text, caption); });
    }
    bool EditSettings(LSettingsRecordRef record) override {
        bool confirmed = false;
        calls_.Run([&] { confirmed = events_.EditSettings(record); });
        return confirmed;
    }
    bool ChooseWaveFormat(LWaveFileFormat& format, int channels) override {
        bool chosen = false;
        calls_.Run([&] { chosen = events_.ChooseWaveFormat(format, channels); });
        return chosen;
    }
    bool InstallComponent(const char* component) override {
        bool installed = false;
        calls_.Run([&] { installed = events_.InstallComponent(component); });
        return installed;
    }

  private:
    OwnerCalls& calls_;
    LConvertEvents& events_;
};

// One entry on its worker thread.
struct Running {
    Running(OwnerCalls& calls, LProgressDialog& batch, LConvertEvents& front)
        : surface(calls, batch), events(calls, front) {}
    int at = 0;    // its place in the request
    int slot = 0;  // its row
    LJobEntry entry;
    LSourceRef source;  // opened on the front end's thread when opening may prompt
    LConvertJob job;    // its own outcome
    EntrySurface surface;
    EntryEvents events;
    std::thread thread;
    std::atomic<bool> finished{false};
    int result = LPROCESS_FAILED;  // kJobNextEntry, kJobEndOfBatch or a status
    std::string row;               // its row's text: the input's file name
};

void RunEntry(Running* r, const LConvertRequest* request) {
    LJobBatch b{&r->surface, &r->job, *request, r->events, request->outputExtension.c_str()};
    if (!r->source && LJobOpenInput(b, r->entry, r->source) != LPROCESS_OK)
        r->result = kJobEndOfBatch;
    else
        r->result = LJobConvertOpened(b, r->entry, r->source);
    r->source.reset();
    r->finished = true;
}

// Two entries that must not run at once: one writes or replaces a file the other reads or writes.
bool Collide(const Running& r, const LJobEntry& e) {
    for (const char* a : {r.entry.input, r.entry.paths.finalPath})
        for (const char* b : {e.input, e.paths.finalPath})
            if (LSamePathText(a, b)) return true;
    return false;
}

// The batch as the front end's thread runs it.
class Coordinator {
  public:
    Coordinator(LProgressDialog* dlg, LConvertJob* job)
        : dlg_(dlg),
          job_(job),
          request_(*job->request),
          b_{dlg, job, *job->request, *job->events, job->request->outputExtension.c_str()} {}

    int Run();

  private:
    // An entry's end: one that ended the batch starts no new entry, and the first of those in
    // list order gives the batch its status and outcome, as one at a time would have.
    void Conclude(int at, int result, int outcome) {
        if (result == kJobNextEntry) {
            if (outcome != LPROCESS_OK && endAt_ == INT_MAX) job_->outcome = outcome;
            return;
        }
        stopNew_ = true;
        if (at < endAt_) {
            endAt_ = at;
            endStatus_ = result == kJobEndOfBatch ? LPROCESS_OK : result;
            job_->outcome = outcome;
        }
    }
    // The entry at next_ on this thread, through the step that ends it there. Returns
    // kJobGoOn when it is to run on a worker (its input opened when that may prompt).
    int Begin(const LConvertEntry& entry, LJobEntry& e, LSourceRef& source);
    bool StartNext();
    void Collect();
    void ShowRows();
    void Cancel();

    LProgressDialog* dlg_;
    LConvertJob* job_;
    const LConvertRequest& request_;
    LJobBatch b_;
    OwnerCalls calls_;
    std::vector<std::unique_ptr<Running>> running_;
    std::vector<bool> slots_;
    size_t next_ = 0;
    int ended_ = 0;  // entries done with
    bool stopNew_ = false;
    bool cancelled_ = false;
    int endAt_ = INT_MAX;
    int endStatus_ = LPROCESS_OK;
};

int Coordinator::Begin(const LConvertEntry& entry, LJobEntry& e, LSourceRef& source) {
    b_.events.EntryStarted(entry.index);
    if (!LJobPlanEntry(b_, entry, e)) return LPROCESS_FAILED;
    const int rule = LJobApplyOverwriteRule(b_, e);
    if (rule != kJobGoOn) return rule;
    if (LJobIsTrack(e)) return LJobConvertTrack(b_, e);
    if (LJobOpenPrompts(b_) && LJobOpenInput(b_, e, source) != LPROCESS_OK) return kJobEndOfBatch;
    return kJobGoOn;
}

// Starts the next entry, or runs it here when it ends here. False when it has to wait: for a
// free row, for a running entry whose files it shares, or (a CD track) for every running one.
bool Coordinator::StartNext() {
    if (stopNew_ || next_ >= request_.entries.size() || running_.size() >= slots_.size())
        return false;
    const LConvertEntry& entry = request_.entries[next_];
    LJobEntry e;
    e.input = entry.input.c_str();
    GetFileExtension(e.inExt, e.input);
    const bool track = LJobIsTrack(e);
    if (track && !running_.empty()) return false;
    // Planned without a word first, to see what it shares with the running ones.
    if (!track && LPlanEntry(request_, entry, e.paths))
        for (const auto& r : running_)
            if (Collide(*r, e)) return false;

    const int at = int(next_++);
    LSourceRef source;
    const int before = job_->outcome;
    job_->outcome = LPROCESS_OK;
    const int begun = Begin(entry, e, source);
    const int outcome = job_->outcome;
    job_->outcome = before;
    if (begun != kJobGoOn) {
        ++ended_;
        Conclude(at, begun, outcome);
        return true;
    }
    auto r = std::make_unique<Running>(calls_, *dlg_, *job_->events);
    r->at = at;
    r->entry = e;
    r->entry.input = entry.input.c_str();
    r->source = std::move(source);
    r->job = *job_;
    r->job.outcome = LPROCESS_OK;
    r->job.promptOnce = 0;
    while (slots_[size_t(r->slot)]) ++r->slot;
    slots_[size_t(r->slot)] = true;
    const char* slash = std::strrchr(e.input, '/');
    const char* back = std::strrchr(e.input, '\\');
    const char* name = back > slash ? back : slash;
    r->row = name ? name + 1 : e.input;
    r->thread = std::thread(RunEntry, r.get(), &request_);
    running_.push_back(std::move(r));
    return true;
}

// Entries whose worker ended: their threads joined, their ends counted.
void Coordinator::Collect() {
    for (size_t k = 0; k < running_.size();) {
        Running& r = *running_[k];
        if (!r.finished) {
            ++k;
            continue;
        }
        r.thread.join();
        ++ended_;
        slots_[size_t(r.slot)] = false;
        dlg_->SetRow(r.slot, "", 0.0);
        Conclude(r.at, r.result, r.job.outcome);
        running_.erase(running_.begin() + long(k));
    }
}

void Coordinator::ShowRows() {
    const int count = int(request_.entries.size());
    double sum = ended_;
    for (const auto& r : running_) {
        const double fraction = r->surface.Fraction();
        sum += fraction;
        dlg_->SetRow(r->slot, r->row.c_str(), fraction);
    }
    char text[96];
    std::snprintf(text, sizeof text, "%d of %d files done", ended_, count);
    dlg_->SetText(text, 1);
    dlg_->SetProgress(count > 0 ? sum / count : 1.0);
}

void Coordinator::Cancel() {
    cancelled_ = stopNew_ = true;
    for (const auto& r : running_) r->surface.RequestStop();
}

int Coordinator::Run() {
    job_->outcome = LPROCESS_OK;
    const int count = int(request_.entries.size());
    slots_.assign(size_t(std::max(1, std::min(request_.jobs, count))), false);
    job_->events->ShowProgressSurface(dlg_, !request_.hidden);
    dlg_->SetRows(int(slots_.size()));
    dlg_->SetText("Saving Audio File", 0);
    for (;;) {
        calls_.Serve();
        Collect();
        if (!cancelled_ && dlg_->PumpMessages()) Cancel();
        while (StartNext()) calls_.Serve();
        if (running_.empty() && (stopNew_ || next_ >= request_.entries.size())) break;
        ShowRows();
        // After a Cancel the surface is gone: the workers are waited for without it.
        if (cancelled_ || dlg_->WaitTimed(20) == LPROCESS_STOPPED) {
            if (!cancelled_) Cancel();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    dlg_->SetRows(0);
    LCDEndVerifyBatch();
    if (cancelled_ && endStatus_ == LPROCESS_OK && endAt_ == INT_MAX) {
        job_->outcome = LPROCESS_STOPPED;
        return LPROCESS_STOPPED;
    }
    if (endAt_ == INT_MAX || endStatus_ == LPROCESS_OK) LCDState().tableLoaded = false;
    return endStatus_;
}

}  // namespace

int LConvertParallel(LProgressDialog* dlg, LConvertJob* job) {
    Coordinator coordinator(dlg, job);
    return coordinator.Run();
}

int LReadJobs() {
    const int32_t stored = SettingsRead(kJobs);
    if (stored > 0) return std::min<int32_t>(stored, 64);
    const unsigned processors = std::thread::hardware_concurrency();
    return processors > 0 ? int(std::min(processors, 64u)) : 1;
}
