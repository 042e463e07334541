// ID3v2 tags: versions 2.2, 2.3 and 2.4 read from memory, version 2.3 built.
#pragma once

#include "tags/tagdata.h"
#include "tags/tagtext.h"

constexpr size_t LID3V2_HEADER = 10;

// The whole size (header, frames, padding, footer) of the tag whose 10-byte header begins
// bytes; 0 when bytes begin no ID3v2 tag.
size_t LId3v2Size(LBytes bytes);
// Sets the fields and pictures of a whole tag; false when it is no tag this reader knows.
bool LId3v2Parse(LBytes tag, LAudioTagData& tags);
// An ID3v2.3 tag of every field and picture (pictures left out where the tag would pass the
// format's size limit), followed by padding zero bytes.
std::vector<uint8_t> LId3v2Build(const LAudioTagData& tags, size_t padding);
