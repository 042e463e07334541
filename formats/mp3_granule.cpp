// Layer III granule: scalefactors, Huffman decoding with requantisation, and joint stereo.
#include <algorithm>
#include <cstring>

#include "formats/mp3_layer3.h"

namespace {

// Scales of consecutive runs of lines in bitstream order.
struct ScaleRun {
    int end;
    float mul;
};

}  // namespace

void MP3Layer3::Init(int version, int freqIndex) {
    t_ = &MP3GetTables();
    version_ = version;
    bands_ = &kMP3Bands[version * 3 + freqIndex];
    mixedLongLines_ = 3 * bands_->shortStart[3];
    // Short blocks: band b, window w, line l of the bitstream go to 3 * start + 3l + w.
    int i = 0;
    for (int b = 0; b < 13; ++b) {
        const int start = bands_->shortStart[b];
        const int width = bands_->shortStart[b + 1] - start;
        for (int w = 0; w < 3; ++w)
            for (int l = 0; l < width; ++l, ++i)
                if (i < 576) mapShort_[i] = uint16_t(std::min(3 * start + 3 * l + w, 575));
    }
    for (int k = 0; k < 576; ++k) mapLong_[k] = uint16_t(k);
    for (int k = 0; k < 576; ++k) mapMixed_[k] = k < mixedLongLines_ ? uint16_t(k) : mapShort_[k];
    ResetState();
    std::memset(slots_, 0, sizeof(slots_));  // the padding stays zero
    std::memset(sfLong_, 0, sizeof(sfLong_));
    std::memset(sfShort_, 0, sizeof(sfShort_));
}

void MP3Layer3::ResetState() {
    std::memset(overlap_, 0, sizeof(overlap_));
    std::memset(history_, 0, sizeof(history_));
}

void MP3Layer3::ReadScalefactors(MP3BitReader& br, const MP3Header& h, const MP3SideInfo& si,
                                 int gr, int ch) {
    const MP3GranuleInfo& gi = si.gr[gr][ch];
    uint8_t* sl = sfLong_[ch];
    uint8_t(*ss)[3] = sfShort_[ch];
    const bool shortBlocks = gi.windowSwitching && gi.blockType == 2;
    if (h.version == 0) {
        const int slen1 = kMP3Slen[0][gi.scalefacCompress & 15];
        const int slen2 = kMP3Slen[1][gi.scalefacCompress & 15];
        for (int b = 0; b < 23; ++b) slenLong_[b] = uint8_t(b < 11 ? slen1 : slen2);
        for (int b = 0; b < 13; ++b) slenShort_[b] = uint8_t(b < 6 ? slen1 : slen2);
        if (shortBlocks) {
            int b = 0;
            if (gi.mixedBlock) {
                for (; b < 8; ++b) sl[b] = uint8_t(br.Get(slen1));
                b = 3;
            }
            for (; b < 12; ++b)
                for (int w = 0; w < 3; ++w) ss[b][w] = uint8_t(br.Get(b < 6 ? slen1 : slen2));
            for (int w = 0; w < 3; ++w) ss[12][w] = 0;
        } else {
            static const int kParts[5] = {0, 6, 11, 16, 21};
            for (int p = 0; p < 4; ++p) {
                if (gr == 1 && si.scfsi[ch][p]) continue;  // keep the first granule's values
                for (int b = kParts[p]; b < kParts[p + 1]; ++b)
                    sl[b] = uint8_t(br.Get(p < 2 ? slen1 : slen2));
            }
            sl[21] = sl[22] = 0;
        }
        return;
    }
    // MPEG-2 and 2.5: partitions chosen by scalefac_compress.
    int slen[4] = {0, 0, 0, 0};
    int row = 0;
    const bool intensityCh = ch == 1 && h.mode == 1 && (h.modeExt & 1);
    int sfc = gi.scalefacCompress;
    if (!intensityCh) {
        if (sfc < 400) {
            slen[0] = (sfc >> 4) / 5;
            slen[1] = (sfc >> 4) % 5;
            slen[2] = (sfc & 15) >> 2;
            slen[3] = sfc & 3;
            row = 0;
        } else if (sfc < 500) {
            sfc -= 400;
            slen[0] = (sfc >> 2) / 5;
            slen[1] = (sfc >> 2) % 5;
            slen[2] = sfc & 3;
            row = 1;
        } else {
            sfc -= 500;
            slen[0] = sfc / 3;
            slen[1] = sfc % 3;
            row = 2;
        }
    } else {
        if (sfc < 180) {
            slen[0] = sfc / 36;
            slen[1] = (sfc % 36) / 6;
            slen[2] = (sfc % 36) % 6;
            row = 3;
        } else if (sfc < 244) {
            sfc -= 180;
            slen[0] = (sfc & 63) >> 4;
            slen[1] = (sfc & 15) >> 2;
            slen[2] = sfc & 3;
            row = 4;
        } else {
            sfc -= 244;
            slen[0] = sfc / 3;
            slen[1] = sfc % 3;
            row = 5;
        }
    }
    const int kind = shortBlocks ? (gi.mixedBlock ? 2 : 1) : 0;
    const uint8_t* counts = kMP3PartitionSizes[row][kind];
    int n = 0;  // index of the scalefactor within the granule
    for (int p = 0; p < 4; ++p) {
        for (int k = 0; k < counts[p]; ++k, ++n) {
            const uint8_t v = uint8_t(br.Get(slen[p]));
            if (kind == 0) {
                if (n < 22) {
                    sl[n] = v;
                    slenLong_[n] = uint8_t(slen[p]);
                }
            } else if (kind == 2 && n < 6) {
                sl[n] = v;
                slenLong_[n] = uint8_t(slen[p]);
            } else {
                const int s = kind == 2 ? n - 6 : n;
                const int b = (kind == 2 ? 3 : 0) + s / 3;
                if (b < 13) {
                    ss[b][s % 3] = v;
                    slenShort_[b] = uint8_t(slen[p]);
                }
            }
        }
    }
    // The bands after the last one read carry no scalefactor.
    if (kind == 0) {
        for (int b = n; b < 23; ++b) sl[b] = 0, slenLong_[b] = 0;
    } else {
        const int first = kind == 2 ? 3 + (n - 6) / 3 : n / 3;
        for (int b = std::max(first, 0); b < 13; ++b) {
            ss[b][0] = ss[b][1] = ss[b][2] = 0;
            slenShort_[b] = 0;
        }
    }
}

namespace {

// v with its sign flipped when sign is 1.
inline float Signed(float v, uint32_t sign) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    bits ^= sign << 31;
    std::memcpy(&v, &bits, 4);
    return v;
}

}  // namespace

int MP3Layer3::DecodeHuffmanData(MP3BitReader& reader, int64_t endBit, const MP3GranuleInfo& gi,
                                 int ch) {
    MP3BitReader br = reader;  // a local copy stays in registers
    float* out = xr[ch];
    const MP3Tables& t = *t_;
    const MP3BandTable& bt = *bands_;
    const bool shortBlocks = gi.windowSwitching && gi.blockType == 2;
    const uint16_t* map = shortBlocks ? (gi.mixedBlock ? mapMixed_ : mapShort_) : mapLong_;
    // Reordered lines land anywhere: clear them all first. Long blocks are written in order
    // and only the lines after the decoded ones are cleared at the end.
    if (shortBlocks) std::memset(out, 0, sizeof(xr[ch]));

    // Requantisation scale of every run of lines, in bitstream order.
    ScaleRun runs[40];
    int nruns = 0;
    const int gain = gi.globalGain - 210;
    const int sfShift = gi.scalefacScale;
    auto longRuns = [&](int bands) {
        for (int b = 0; b < bands; ++b) {
            const int k = (sfLong_[ch][b] + (gi.preflag ? kMP3Pretab[b] : 0)) << sfShift;
            runs[nruns++] = {bt.longStart[b + 1], t.pow2q[MP3Pow2Index(gain - 2 * k)]};
        }
    };
    if (!shortBlocks) {
        longRuns(22);
    } else {
        int firstShort = 0;
        if (gi.mixedBlock) {
            longRuns(version_ == 0 ? 8 : 6);
            firstShort = 3;
        }
        for (int b = firstShort; b < 13; ++b) {
            const int start = bt.shortStart[b];
            const int width = bt.shortStart[b + 1] - start;
            for (int w = 0; w < 3; ++w) {
                const int k = sfShort_[ch][b][w] << sfShift;
                const int q = gain - 2 * gi.subblockGain[w] - 2 * k;
                runs[nruns++] = {3 * start + (w + 1) * width, t.pow2q[MP3Pow2Index(q)]};
            }
        }
    }
    runs[nruns - 1].end = 576;

    // Region boundaries.
    int bigEnd = std::min(gi.bigValues * 2, 576);
    int r1, r2;
    if (shortBlocks) {
        r1 = 3 * bt.shortStart[3];
        r2 = 576;
    } else {
        r1 = bt.longStart[std::min(gi.region0Count + 1, 22)];
        r2 = bt.longStart[std::min(gi.region0Count + gi.region1Count + 2, 22)];
    }
    r1 = std::min(r1, bigEnd);
    r2 = std::min(std::max(r2, r1), bigEnd);
    const int regionEnd[3] = {r1, r2, bigEnd};

    int i = 0;
    int run = 0;
    float mul = runs[0].mul;
    for (int r = 0; r < 3; ++r) {
        const int end = regionEnd[r];
        const MP3HuffLookup& hl = t.huff[gi.tableSelect[r]];
        if (!hl.entries) {  // table 0 (or an unused number): all zero
            if (!shortBlocks && i < end) std::fill(out + i, out + end, 0.0f);
            i = std::max(i, end);
            continue;
        }
        const uint32_t* lut = hl.entries;
        const int bits = hl.bits;
        const int linbits = hl.linbits;
        // One pair takes at most 19 + 2 * (13 + 1) bits, so the cache is topped up only when
        // it holds fewer. Most pairs are one lookup that includes their signs.
        auto pairs = [&](auto store, int segEnd) {
            for (; i < segEnd; i += 2) {
                if (br.Available() < 47) br.Refill();
                uint32_t e = lut[br.Peek(bits)];
                if (e & kMP3HuffSigned) {
                    br.Skip(int(e & 63));
                    store(i, t.pow43Signed[(e >> 11) & 31] * mul,
                          t.pow43Signed[(e >> 6) & 31] * mul);
                    continue;
                }
                if (e & 0x80000000u) {
                    br.Skip(bits);
                    e = lut[(e & 0xFFFFFFu) + br.Peek(int((e >> 24) & 0x7F))];
                }
                br.Skip(int(e & 63));
                int x = int((e >> 11) & 15);
                int y = int((e >> 6) & 15);
                if (x == 15 && linbits) x += int(br.GetCached(linbits));
                const float vx = Signed(t.pow43[x] * mul, br.GetIf(x != 0));
                if (y == 15 && linbits) y += int(br.GetCached(linbits));
                const float vy = Signed(t.pow43[y] * mul, br.GetIf(y != 0));
                store(i, vx, vy);
            }
        };
        while (i < end) {
            while (i >= runs[run].end) mul = runs[++run].mul;
            const int segEnd = std::min(end, runs[run].end);  // lines sharing one scale
            if (shortBlocks) {
                pairs(
                    [&](int k, float a, float b) {
                        out[map[k]] = a;
                        out[map[k + 1]] = b;
                    },
                    segEnd);
            } else {
                pairs(
                    [&](int k, float a, float b) {
                        out[k] = a;
                        out[k + 1] = b;
                    },
                    segEnd);
            }
        }
    }
    i = bigEnd;

    // Count1 region: quadruples of -1, 0, 1, each one lookup with its signs.
    const MP3HuffLookup& q = t.huff[32 + gi.count1Table];
    static constexpr float kUnit[4] = {0.0f, 1.0f, -1.0f, 0.0f};
    int lastQuad = -1;
    while (br.Position() < endBit && i <= 572) {
        if (br.Available() < kMP3HuffMaxFirstBits) br.Refill();
        const uint32_t e = q.entries[br.Peek(q.bits)];
        br.Skip(int(e & 63));
        lastQuad = i;
        while (i >= runs[run].end) mul = runs[++run].mul;
        if (i + 4 <= runs[run].end) {  // the usual case: one scale for all four
            for (int k = 0; k < 4; ++k) out[map[i + k]] = kUnit[(e >> (12 - 2 * k)) & 3] * mul;
            i += 4;
            continue;
        }
        for (int k = 0; k < 4; ++k, ++i) {
            while (i >= runs[run].end) mul = runs[++run].mul;
            out[map[i]] = kUnit[(e >> (12 - 2 * k)) & 3] * mul;
        }
    }
    if (br.Position() > endBit && lastQuad >= 0) {
        for (int k = lastQuad; k < lastQuad + 4; ++k) out[map[k]] = 0.0f;
        i = lastQuad;
    }
    if (!shortBlocks) std::fill(out + i, out + 576, 0.0f);
    reader = br;
    return i;
}

int MP3Layer3::HighestNonzero(int ch, int bound) const {
    const float* x = xr[ch];
    for (int k = bound - 1; k >= 0; --k)
        if (x[k] != 0.0f) return k + 1;
    return 0;
}

void MP3Layer3::JointStereo(const MP3Header& h, const MP3GranuleInfo& right) {
    const bool ms = (h.modeExt & 2) != 0;
    const bool intensity = (h.modeExt & 1) != 0;
    float* L = xr[0];
    float* R = xr[1];
    constexpr float kInvSqrt2 = 0.70710678118654752f;
    if (!intensity) {
        if (!ms) return;
        const int n = std::max(nonzero_[0], nonzero_[1]);
        for (int k = 0; k < n; ++k) {
            const float m = L[k], s = R[k];
            L[k] = (m + s) * kInvSqrt2;
            R[k] = (m - s) * kInvSqrt2;
        }
        return;
    }
    const MP3Tables& t = *t_;
    const MP3BandTable& bt = *bands_;
    // Intensity position of every line; 7 or above in MPEG-1, or the band's largest
    // scalefactor value in MPEG-2, means none.
    int8_t pos[576];
    std::memset(pos, -1, sizeof(pos));
    const bool mpeg1 = version_ == 0;
    auto legal = [&](int value, int slen) { return mpeg1 ? value < 7 : value != (1 << slen) - 1; };
    const bool shortBlocks = right.windowSwitching && right.blockType == 2;
    bool longPart = !shortBlocks;
    int longBands = 22;
    if (shortBlocks) {
        int maxBandAll = 0;
        for (int w = 0; w < 3; ++w) {
            int top = -1;  // highest short band with a non-zero right line in this window
            for (int b = 12; b >= 0 && top < 0; --b)
                for (int k = 3 * bt.shortStart[b] + w; k < 3 * bt.shortStart[b + 1]; k += 3)
                    if (R[k] != 0.0f) {
                        top = b;
                        break;
                    }
            const int firstBand = std::max(top + 1, right.mixedBlock ? 3 : 0);
            maxBandAll = std::max(maxBandAll, top);
            for (int b = firstBand; b < 13; ++b) {
                const int src = b == 12 ? 11 : b;
                const bool own = b == 12 && firstBand == 12 && !mpeg1;  // see the long bands
                const int v = own ? 0 : sfShort_[1][src][w];
                if (!own && !legal(v, slenShort_[src])) continue;
                for (int k = 3 * bt.shortStart[b] + w; k < 3 * bt.shortStart[b + 1]; k += 3)
                    pos[k] = int8_t(v);
            }
        }
        if (right.mixedBlock && maxBandAll < 3) {
            longPart = true;
            longBands = version_ == 0 ? 8 : 6;
        }
    }
    if (longPart) {
        const int limit = bt.longStart[longBands];
        int top = -1;
        for (int k = std::min(nonzero_[1], limit) - 1; k >= 0; --k)
            if (R[k] != 0.0f) {
                top = k;
                break;
            }
        int firstBand = 0;
        while (firstBand < longBands && bt.longStart[firstBand + 1] <= top) ++firstBand;
        if (top >= 0) ++firstBand;
        for (int b = firstBand; b < longBands; ++b) {
            // The top band carries no scalefactor. It follows the band below when that one is
            // intensity coded; otherwise, in MPEG-2, it keeps its own position 0 (both channels
            // at the full level), which no scalefactor width can make illegal.
            const int src = b == 21 ? 20 : b;
            const bool own = b == 21 && firstBand == 21 && !mpeg1;
            const int v = own ? 0 : sfLong_[1][src];
            if (!own && !legal(v, slenLong_[src])) continue;
            for (int k = bt.longStart[b]; k < bt.longStart[b + 1]; ++k) pos[k] = int8_t(v);
        }
    }
    const float* kl = mpeg1 ? t.isRatioL : t.lsfIsL[right.intensityScale];
    const float* kr = mpeg1 ? t.isRatioR : t.lsfIsR[right.intensityScale];
    for (int k = 0; k < 576; ++k) {
        const int p = pos[k];
        if (p >= 0) {
            const float l = L[k];
            L[k] = l * kl[p];
            R[k] = l * kr[p];
        } else if (ms) {
            const float m = L[k], s = R[k];
            L[k] = (m + s) * kInvSqrt2;
            R[k] = (m - s) * kInvSqrt2;
        }
    }
}

void MP3Layer3::DecodeGranule(const uint8_t* mainData, int32_t mainBytes, int64_t& bitPos,
                              const MP3Header& h, const MP3SideInfo& si, int gr, int32_t* out) {
    const int nch = h.Channels();
    for (int ch = 0; ch < nch; ++ch) {
        const MP3GranuleInfo& gi = si.gr[gr][ch];
        const int64_t start = bitPos;
        const int64_t end = start + gi.part23Length;
        MP3BitReader br(mainData, mainBytes, start);
        ReadScalefactors(br, h, si, gr, ch);
        // Long blocks are stored in order: nothing lies above the decoded lines.
        const int lines = DecodeHuffmanData(br, end, gi, ch);
        const bool shortBlocks = gi.windowSwitching && gi.blockType == 2;
        nonzero_[ch] = HighestNonzero(ch, shortBlocks ? 576 : lines);
        bitPos = end;
    }
    if (nch == 2 && h.mode == 1 && h.modeExt != 0) {
        JointStereo(h, si.gr[gr][1]);
        // Both channels follow from lines below the higher of the two tops.
        const int bound = std::max(nonzero_[0], nonzero_[1]);
        nonzero_[0] = HighestNonzero(0, bound);
        nonzero_[1] = HighestNonzero(1, bound);
    }
    for (int ch = 0; ch < nch; ++ch) {
        const MP3GranuleInfo& gi = si.gr[gr][ch];
        // Antialiasing can spread into the next subband.
        const int sbLimit = std::min(32, (nonzero_[ch] + 17) / 18 + 1);
        Antialias(gi, ch, sbLimit);
        Hybrid(gi, ch, sbLimit);
    }
    Synthesize(nch, out);
}
