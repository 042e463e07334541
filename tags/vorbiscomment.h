// Vorbis comments (FLAC, Ogg Vorbis, Opus) and FLAC picture blocks, which they carry as
// METADATA_BLOCK_PICTURE in base64.
#pragma once

#include "tags/tagdata.h"
#include "tags/tagtext.h"

// Sets the fields and pictures of a comment body (vendor, count, "NAME=value" pairs); vendor
// receives the vendor string. False when the body is malformed (what came before is kept).
bool LVorbisCommentParse(LBytes body, LAudioTagData& tags, std::string* vendor = nullptr);
// A comment body of every field, and the pictures as METADATA_BLOCK_PICTURE when asked.
std::vector<uint8_t> LVorbisCommentBuild(const LAudioTagData& tags, const std::string& vendor,
                                         bool pictures);
// A FLAC PICTURE block body.
bool LFlacPictureParse(LBytes body, LTagPicture& picture);
std::vector<uint8_t> LFlacPictureBuild(const LTagPicture& picture);
