// Reading bytes at positions (a file or memory) and walking RIFF/RF64/BW64 and IFF chunk lists.
#pragma once

#include <cstddef>
#include <cstdint>

class LFile;

// Bytes read at absolute positions: an open file (bytes in memory through LFile::OpenBytes).
class LByteSource {
  public:
    virtual ~LByteSource() = default;
    // Exactly n bytes at pos; false when fewer are there.
    virtual bool ReadAt(int64_t pos, void* buffer, size_t n) = 0;
    virtual int64_t Size() = 0;
};

class LFileBytes final : public LByteSource {
  public:
    explicit LFileBytes(LFile& file) : file_(file) {}
    bool ReadAt(int64_t pos, void* buffer, size_t n) override;
    int64_t Size() override;

  private:
    LFile& file_;
};

struct LChunk {
    char id[4];
    uint64_t size;    // the body's size (a "data" chunk of a 64-bit form: from "ds64")
    int64_t header;   // where the 8-byte header begins
    int64_t body;     // header + 8
    uint32_t stored;  // the 32-bit size field as written
};

enum class LChunkStart : uint8_t { Ok, NoForm, ShortJunk, NoDs64 };

// Walks the chunks of a form: RIFF, RF64 or BW64 (little-endian) with the given form type, or
// with bigEndian an IFF "FORM" of one of the form types (AIFF and AIFC). Chunks before the form
// are skipped. The walk goes on past the form's declared end to the end of the bytes, since
// chunks are appended there by some writers.
class LChunkWalker {
  public:
    explicit LChunkWalker(LByteSource& bytes) : bytes_(bytes) {}
    // Finds the form; for RF64 and BW64 also reads its "ds64" chunk, which must come first.
    LChunkStart Start(const char* formType = "WAVE");
    LChunkStart StartIff();
    // The next chunk; false at the end. Malformed() tells a size that cannot be stepped over.
    bool Next(LChunk& chunk);
    bool Malformed() const { return malformed_; }

    bool Wide() const { return wide_; }
    int64_t FormHeader() const { return form_; }
    // Where the "ds64" body begins (64-bit forms), else -1.
    int64_t Ds64Body() const { return ds64_; }

  private:
    uint32_t Load32(const uint8_t* p) const;
    LByteSource& bytes_;
    bool bigEndian_ = false;
    bool wide_ = false;
    bool malformed_ = false;
    int64_t form_ = -1;
    int64_t ds64_ = -1;
    uint64_t wideDataSize_ = 0;
    int64_t next_ = 0;
};

// Extends the size of the form at the start of an open file over everything up to its end
// (chunks appended after writing): the 32-bit RIFF or FORM size, or for RF64 and BW64 the
// "ds64" RIFF size. False on a failed write; a file that is no such form is left alone.
bool LChunkFixFormSize(LFile& file);
