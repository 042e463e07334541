// A sink in front of a CD track's output that computes the track's AccurateRip checksums from
// the frames on their way to it, so that no second pass over the written file is needed.
#pragma once

#include "cd/accuraterip.h"
#include "core/sound.h"

// Takes 44100 Hz stereo internal samples exactly as the rip delivers them and passes them on
// unchanged; the caller keeps the checksum and reads it once the rip is over.
class LSinkARTap : public LSoundSinkBase {
  public:
    LSinkARTap(const LSinkRef& inner, LARChecksum& sums);

    int32_t Write(const int32_t* buffer, int32_t n) override;
    void Seek(int32_t frame) override;
    int Finish(LProgressDialog* dlg) override;
    const char* GetFailureMessage() const override { return inner_->GetFailureMessage(); }

  private:
    void TakeFlags() { SetErrorFlags(inner_->GetErrorFlags()); }

    LSinkRef inner_;
    LARChecksum& sums_;
};
