// Each container's tags read from bytes (a file or memory) and written into a complete file.
#pragma once

#include "support/chunks.h"
#include "tags/tagdata.h"
#include "tags/tagtext.h"

// Readers: false when the bytes carry no tag of that kind.
bool LReadMp3Tags(LByteSource& bytes, LAudioTagData& tags);  // ID3v2, APEv2, ID3v1
bool LReadApeTags(LByteSource& bytes, LAudioTagData& tags);  // APEv2 (before any ID3v1)
bool LReadFlacTags(LByteSource& bytes, LAudioTagData& tags);
bool LReadOggTags(LByteSource& bytes, LAudioTagData& tags);  // Vorbis, Opus and FLAC in Ogg
bool LReadMp4Tags(LByteSource& bytes, LAudioTagData& tags);
bool LReadAiffTags(LByteSource& bytes, LAudioTagData& tags);
// replace: as LAudioTagData::UpdateTags.
bool LReadWavTags(LByteSource& bytes, LAudioTagData& tags, bool replace);

// Writers into an open file (read and write), the audio left as it was.
bool LWriteMp3Tags(LFile& file, const LAudioTagData& tags);
bool LWriteFlacTags(LFile& file, const LAudioTagData& tags);
bool LWriteOggTags(LFile& file, const LAudioTagData& tags);
bool LWriteMp4Tags(LFile& file, const LAudioTagData& tags);
bool LWriteAiffTags(LFile& file, const LAudioTagData& tags);
bool LWriteWavTags(LFile& file, const LAudioTagData& tags);

// Replaces `removed` bytes at pos with `inserted`, moving what follows (the file grows or
// shrinks); false on a failed read or write.
bool LSpliceFile(LFile& file, int64_t pos, int64_t removed, std::span<const uint8_t> inserted);
// Reads n bytes at pos into out; false when they are not all there or n passes `limit`.
bool LReadBlock(LByteSource& bytes, int64_t pos, uint64_t n, std::vector<uint8_t>& out,
                uint64_t limit = LTAG_MAX_BLOCK);
// Fields missing in `into` taken from `from`; its pictures too when `into` has none.
void LTagMerge(LAudioTagData& into, const LAudioTagData& from);
