// AccurateRip: disc ids, checksums against whipper's accuraterip-checksum, database replies, the
// HTTP reply reader, and lookups against local servers that misbehave.
#include "cd/accuraterip.h"

#include "cd/arlookup.h"
#include "store/settings.h"
#include "support/http.h"
#include "tests/support/kit.h"

namespace {

using namespace testutil;

// A database file: one record per pressing, each entry (confidence, checksum).
Bytes DatabaseFile(const LARDiscIds& ids,
                   const std::vector<std::vector<std::pair<int, uint32_t>>>& pressings) {
    Bytes v;
    for (const auto& entries : pressings) {
        v.push_back(uint8_t(ids.tracks));
        for (uint32_t x : {ids.id1, ids.id2, ids.cddb}) PutLE(v, x, 4);
        for (auto [confidence, crc] : entries) {
            v.push_back(uint8_t(confidence));
            PutLE(v, crc, 4);
            PutLE(v, crc ^ 0x5A5A5A5Au, 4);
        }
    }
    return v;
}

// A hard-to-guess 16-bit stereo signal over the whole range.
std::vector<int16_t> Noise(size_t frames, uint32_t seed) {
    std::vector<int16_t> v(2 * frames);
    for (int16_t& s : v) s = int16_t((seed = seed * 1664525u + 1013904223u) >> 16);
    return v;
}

TEST(AccurateRipIds, WorkedTableGivesIdsAndPath) {
    const uint32_t starts[] = {0, 15000, 30000};
    const LARDiscIds ids = LARComputeDiscIds(starts, 3, 45000);
    // id1 sums the addresses; id2 weighs each by its track number (a start of 0 counting 1).
    EXPECT_EQ(std::tuple(ids.id1, ids.id2, ids.cddb), std::tuple(90000u, 300001u, 0x0c025803u));
    EXPECT_EQ(LARDatabasePath(ids), "/accuraterip/0/9/f/dBAR-003-00015f90-000493e1-0c025803.bin");
}

// First, middle and last track of a disc and a one-track disc, at lengths around the edges
// the first and last tracks leave out, fed in pieces as internal samples.
TEST(AccurateRipChecksum, MatchesWhipperAtTheDiscsEdges) {
    ASSERT_TRUE(HaveTool("accuraterip-checksum"));
    const std::string dir = ScratchDir();
    for (size_t frames : {size_t(5880), size_t(5879), size_t(20000)}) {
        const std::vector<int16_t> pcm = Noise(frames, uint32_t(frames));
        const std::string wav = dir + "/t.wav";
        ASSERT_TRUE(WriteWav16(wav, 44100, 2, pcm));
        std::vector<int32_t> internal(pcm.begin(), pcm.end());
        for (int32_t& s : internal) s = int32_t(uint32_t(s) << 4);
        for (auto [track, count] :
             {std::pair(1, 5), std::pair(3, 5), std::pair(5, 5), std::pair(1, 1)}) {
            LARChecksum sums;
            sums.Start(track, count, uint32_t(frames));
            for (size_t at = 0; at < frames; at += 1000)
                sums.Add(internal.data() + 2 * at, int32_t(std::min<size_t>(1000, frames - at)));
            ASSERT_EQ(sums.Frames(), sums.Length());
            char expected[32];
            std::snprintf(expected, sizeof expected, "%08X\n%08X\n", sums.V1(), sums.V2());
            const std::string args =
                " " + wav + " " + std::to_string(track) + " " + std::to_string(count);
            EXPECT_EQ(RunOutput("accuraterip-checksum --accuraterip-v1" + args) +
                          RunOutput("accuraterip-checksum --accuraterip-v2" + args),
                      expected)
                << frames << " frames, track " << track << " of " << count;
        }
    }
}

// Every pressing's record is read; anything cut, padded, foreign or oversized is no database
// file. A match of v2 is preferred, the highest confidence taken, a failed read never accurate.
TEST(AccurateRipReply, PressingsBadRepliesAndComparison) {
    const uint32_t starts[] = {32, 5000};
    const LARDiscIds ids = LARComputeDiscIds(starts, 2, 9000);
    const Bytes good = DatabaseFile(ids, {{{5, 0x1111}, {3, 0xAAAA}}, {{9, 0x2222}, {0, 0xBBBB}}});
    std::vector<LARPressing> p;
    ASSERT_TRUE(LARParseReply(good.data(), good.size(), ids, p));
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(std::tuple(p[1].tracks[0].confidence, p[1].tracks[0].crc, p[1].tracks[1].offsetCrc),
              std::tuple(9, 0x2222u, 0xBBBBu ^ 0x5A5A5A5Au));
    LARDiscIds other = ids;
    other.id2 ^= 1;
    Bytes mixed = DatabaseFile(ids, {{{1, 1}, {1, 1}}});
    for (uint8_t b : DatabaseFile(other, {{{1, 1}, {1, 1}}})) mixed.push_back(b);
    Bytes big;
    while (big.size() <= kARMaxReplyBytes) big.insert(big.end(), good.begin(), good.end());
    Bytes padded = good;
    padded.push_back(0);
    for (const Bytes& bad : {Bytes{}, Bytes(good.begin(), good.end() - 1), padded, mixed, big}) {
        EXPECT_FALSE(LARParseReply(bad.data(), bad.size(), ids, p)) << bad.size();
        EXPECT_TRUE(p.empty());
    }
    ASSERT_TRUE(LARParseReply(good.data(), good.size(), ids, p));
    const auto text = [&](int track, uint32_t v1, uint32_t v2, bool ok = true) {
        return LARReportLine(track, LARCompare(p, track, v1, v2, ok));
    };
    EXPECT_EQ(text(1, 0x2222, 0x1111), "AccurateRip: track 1 accurate (confidence 5) [00001111]");
    EXPECT_EQ(text(1, 0x1111, 0x2222), "AccurateRip: track 1 accurate (confidence 9) [00002222]");
    EXPECT_EQ(text(2, 0xBBBB, 0xC), "AccurateRip: track 2 accurate (confidence 0) [0000BBBB]");
    EXPECT_EQ(text(2, 0xAAAA, 0xD, false),
              "AccurateRip: track 2 not accurate [v1 0000AAAA, v2 "
              "0000000D]");
    EXPECT_EQ(text(3, 1, 2), "AccurateRip: track 3 not in database [v1 00000001, v2 00000002]");
    p.clear();
    EXPECT_EQ(text(1, 0x1111, 0xabcdef12),
              "AccurateRip: track 1 not in database [v1 00001111, v2 ABCDEF12]");
}

// The reply reader byte by byte and at once; framing it cannot trust is refused.
TEST(HttpReply, ChunkedSizedAndBadFraming) {
    const std::string chunked =
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3;x=y\r\nabc\r\n0A\r\n0123456789"
        "\r\n0\r\nTrailer: 1\r\n\r\nignored";
    auto read = [](const std::string& reply, size_t piece, size_t bound = 100) {
        LHttpReplyReader r(bound);
        for (size_t at = 0; at < reply.size(); at += piece)
            r.Feed(reinterpret_cast<const uint8_t*>(reply.data() + at),
                   std::min(piece, reply.size() - at));
        if (r.state() == LHttpReplyReader::State::More) r.Close();
        return r.state() == LHttpReplyReader::State::Done
                   ? std::to_string(r.status()) + ":" +
                         std::string(r.body().begin(), r.body().end())
                   : std::string("bad");
    };
    for (size_t piece : {size_t(1), size_t(5), chunked.size()})
        EXPECT_EQ(read(chunked, piece), "200:abc0123456789") << piece;
    EXPECT_EQ(read("HTTP/1.0 200 OK\nContent-Length: 4\n\nabcdef", 3), "200:abcd");
    EXPECT_EQ(read("HTTP/1.0 200 OK\r\n\r\nto the close", 4), "200:to the close");
    EXPECT_EQ(read("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\n", 7), "404:");
    for (const std::string& bad : std::vector<std::string>{
             "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nab",  // cut by the close
             "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nContent-Length: 5\r\n\r\nabcd",
             "HTTP/1.1 200 OK\r\nContent-Length: 101\r\n\r\n",  // past the bound
             "HTTP/1.1 200 OK\r\n\r\n" + std::string(101, 'x'),
             "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n",
             "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nfffffffffffffff\r\n",
             "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcX\r\n0\r\n\r\n",
             "HTTP/1.1 2x0 OK\r\n\r\n", "ICY 200 OK\r\n\r\n", "HTTP/1.1 200 OK\r\nNoColon\r\n\r\n",
             "HTTP/1.1 200 OK\r\nX: " + std::string(9000, 'y') + "\r\n\r\n"})
        EXPECT_EQ(read(bad, 3), "bad") << bad.substr(0, 80);
}

// The disc's file from local servers: plain and chunked replies give every pressing; a missing
// file, a redirect, a cut record and an oversized reply are not found; a reply cut short, a
// refused connection and a server that never answers fail (the time-out ends the wait).
TEST(AccurateRipLookup, LocalServersThatServeAndMisbehave) {
    ScratchHome();
    const uint32_t starts[] = {0, 15000, 30000};
    const LARDiscIds ids = LARComputeDiscIds(starts, 3, 45000);
    const std::string root = UseAccurateRipTestServer("plain");
    const std::string path = root + LARDatabasePath(ids);
    fs::create_directories(fs::path(path).parent_path());
    ASSERT_TRUE(WriteFileBytes(
        path, DatabaseFile(ids, {{{1, 1}, {2, 2}, {3, 3}}, {{4, 4}, {5, 5}, {6, 6}}})));
    const std::pair<const char*, LARLookup> cases[] = {
        {"plain", LARLookup::Found},        {"chunked", LARLookup::Found},
        {"missing", LARLookup::NotFound},   {"redirect", LARLookup::NotFound},
        {"cutrecord", LARLookup::NotFound}, {"oversized", LARLookup::NotFound},
        {"truncated", LARLookup::Failed},   {"refuse", LARLookup::Failed},
        {"silent", LARLookup::Failed}};
    for (auto [mode, expected] : cases) {
        UseAccurateRipTestServer(mode, 300);
        FakeProgress dlg;
        std::vector<LARPressing> p;
        EXPECT_EQ(ProcessARLookup(&dlg, ids, p), expected) << mode;
        EXPECT_EQ(p.size(), expected == LARLookup::Found ? 2u : 0u) << mode;
        if (!p.empty()) {
            EXPECT_EQ(p[1].tracks[2].crc, 6u) << mode;
        }
    }
    // A cancel during the wait ends it too.
    UseAccurateRipTestServer("silent", 5000);
    FakeProgress dlg;
    dlg.stopped = true;
    std::vector<LARPressing> p;
    EXPECT_EQ(ProcessARLookup(&dlg, ids, p), LARLookup::Stopped);
}

}  // namespace
