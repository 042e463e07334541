// A quiet progress surface for tests: records texts, progress and errors; stops on request.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "support/progress.h"
#include "support/waitable.h"
#include "tests/support/testutil.h"

namespace testutil {

class FakeProgress : public LProgressDialog {
  public:
    FakeProgress() : LProgressDialog("test") {}

    // Every PumpMessages from ms milliseconds after this call on reports a stop.
    void CancelAfter(int ms) {
        cancelAt_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    }

    bool PumpMessages() override {
        if (++pumps > stopAfterPumps && stopAfterPumps >= 0) stopped = true;
        if (std::chrono::steady_clock::now() >= cancelAt_) stopped = true;
        return stopped;
    }
    void SetText(const char* text, int line) override {
        if (line == 0 || line == 1) lines[line] = text ? text : "";
        if (line == 0) line0History.push_back(lines[0]);
    }
    void SetProgress(double fraction) override { progress.push_back(fraction); }
    void ShowError(const char* text) override { errors.push_back(text ? text : ""); }
    // Waits in short slices and pumps between them, like the interactive surfaces do.
    int WaitForObject(LWaitable& object, uint32_t ms) override {
        using namespace std::chrono;
        const auto end = steady_clock::now() + milliseconds(ms);
        for (;;) {
            const int64_t left = duration_cast<milliseconds>(end - steady_clock::now()).count();
            if (object.WaitFor(uint32_t(std::clamp<int64_t>(left, 0, 20)))) return LPROCESS_OK;
            if (PumpMessages()) return LPROCESS_STOPPED;
            if (left <= 0) return LPROCESS_FAILED;
        }
    }

    bool stopped = false;
    int pumps = 0;
    int stopAfterPumps = -1;  // when not negative: every pump after this many reports a stop
    std::string lines[2];
    std::vector<std::string> line0History;
    std::vector<double> progress;
    std::vector<std::string> errors;

  protected:
    bool ProcessBody() override { return true; }

  private:
    std::chrono::steady_clock::time_point cancelAt_ = std::chrono::steady_clock::time_point::max();
};

}  // namespace testutil
