// MPEG audio frame headers, Layer III side information and the buffered byte stream they come from.
#pragma once

#include <cstdint>

#include "support/file.h"

// The fields of one frame header.
struct MP3Header {
    int version = 0;       // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
    bool crc = false;      // a 16-bit CRC follows the header
    int bitrateIndex = 0;  // 1..14, or 0 for free format
    int freeBytes = 0;     // free format: the frame size without padding, as measured
    int freqIndex = 0;     // 0..2
    int padding = 0;
    int mode = 0;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
    int modeExt = 0;

    // Tests 4 header bytes (sync, version, layer, bitrate, sampling frequency) and stores them.
    bool Parse(const uint8_t b[4]);

    int Bitrate() const;     // bits per second
    int SampleRate() const;  // frames per second
    bool TwoChannels() const { return mode != 3; }
    int Channels() const { return mode == 3 ? 1 : 2; }
    int Granules() const { return version == 0 ? 2 : 1; }
    int SamplesPerFrame() const { return version == 0 ? 1152 : 576; }
    // Bytes after the 4 header bytes (and the CRC when present).
    int PayloadBytes() const;
    int SideInfoBytes() const;
    // 144 for MPEG-1, 72 otherwise.
    int SizeFactor() const { return version == 0 ? 144 : 72; }
};

// Side information of one granule and channel.
struct MP3GranuleInfo {
    int part23Length = 0;
    int bigValues = 0;
    int globalGain = 0;
    int scalefacCompress = 0;
    int intensityScale = 0;  // MPEG-2/2.5 right channel with intensity stereo
    bool windowSwitching = false;
    int blockType = 0;
    bool mixedBlock = false;
    int tableSelect[3] = {0, 0, 0};
    int subblockGain[3] = {0, 0, 0};  // stored multiplied by 4
    int region0Count = 0;
    int region1Count = 0;
    bool preflag = false;
    int scalefacScale = 0;
    int count1Table = 0;
};

struct MP3SideInfo {
    int mainDataBegin = 0;
    bool scfsi[2][4] = {};
    MP3GranuleInfo gr[2][2];

    // Parses the side information bytes of a frame with header h.
    void Parse(const uint8_t* bytes, const MP3Header& h);
};

// Buffered reading of an MP3 file (or an in-memory copy of one) with the count of audio bytes
// that remain before the end of the audio data.
class MP3ByteStream {
  public:
    bool OpenFile(const char* path);
    void OpenMemory(const uint8_t* data, int64_t size);
    int64_t Size() const { return size_; }

    // The audio data ends at this offset (the file size, less a trailing 128-byte ID3v1 tag).
    void SetAudioEnd(int64_t end) { audioEnd_ = end; }
    int64_t AudioEnd() const { return audioEnd_; }
    int64_t Remaining() const { return audioEnd_ > pos_ ? audioEnd_ - pos_ : 0; }
    int64_t Tell() const { return pos_; }

    // Exactly n bytes from the audio data, or false (then the position is unchanged).
    bool Read(uint8_t* dst, int32_t n);
    bool Skip(int64_t n);
    void SeekTo(int64_t offset);

    // Bytes at an absolute offset outside the normal flow (tags at either end of the file).
    bool ReadAt(int64_t offset, uint8_t* dst, int32_t n);

    // Finds the next acceptable header: reads 4 bytes, then slides one byte at a time, at most
    // 65535 times. On success the stream stands after the header and its CRC. A free-format
    // header is acceptable once its frame size is known (see MeasureFreeFormat).
    bool ReadHeader(MP3Header& h);

  private:
    bool Fill(int64_t offset);
    // The size of the free-format frame whose header h ends at the current position: the
    // distance to the next header of the same kind, confirmed by the one after it. Measured
    // once per stream; a few failed attempts end the search for good.
    bool MeasureFreeFormat(MP3Header& h);

    LFile file_;
    const uint8_t* memory_ = nullptr;
    int64_t size_ = 0;
    int64_t audioEnd_ = 0;
    int64_t pos_ = 0;
    // Window of the file held in buf_: [bufStart_, bufStart_ + bufLen_).
    int64_t bufStart_ = 0;
    int32_t bufLen_ = 0;
    uint8_t buf_[65536];
    // Free format: the measured frame size (0 until known), its version and frequency index.
    int freeBytes_ = 0;
    int freeVersion_ = 0;
    int freeFreqIndex_ = 0;
    int freeFailures_ = 0;
};
