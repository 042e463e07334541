// The checksum tap: every frame to the checksum, then to the output.
#include "cd/artap.h"

LSinkARTap::LSinkARTap(const LSinkRef& inner, LARChecksum& sums)
    : LSoundSinkBase(44100, 2), inner_(inner), sums_(sums) {
    TakeFlags();
}

int32_t LSinkARTap::Write(const int32_t* buffer, int32_t n) {
    sums_.Add(buffer, n);
    sPosition += n;
    const int32_t written = inner_->Write(buffer, n);
    TakeFlags();
    return written;
}

void LSinkARTap::Seek(int32_t frame) {
    // Frames written again would count twice: the checksum no longer speaks for the track.
    sums_.Start(0, 0, 0xFFFFFFFFu);
    sPosition = frame;
    inner_->Seek(frame);
    TakeFlags();
}

int LSinkARTap::Finish(LProgressDialog* dlg) {
    const int status = inner_->Finish(dlg);
    TakeFlags();
    return status;
}
