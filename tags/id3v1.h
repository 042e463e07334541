// ID3v1.1 tags: the last 128 bytes of an MP3 file.
#pragma once

#include "tags/tagdata.h"
#include "tags/tagtext.h"

constexpr size_t LID3V1_SIZE = 128;

// Sets the fields of a 128-byte tag; false when the bytes are no tag.
bool LId3v1Parse(LBytes tag, LAudioTagData& tags);
// Fills a 128-byte tag: an empty value keeps the old field, text beyond Latin-1 becomes '?'.
void LId3v1Fill(uint8_t* tag, const LAudioTagData& tags);
