// The forwarded argument blocks: a start's command line in parts, put together by the window.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gui/startup.h"
#include "support/file.h"

namespace {

constexpr int kSlots = 32;
// Each block ends with the marker, "part/parts/process" and the starting folder.
constexpr int kTail = 3;
constexpr int kPerBlock = kSlots - 1 - kTail;

void Put(std::vector<char>& block, int slot, const std::string& text) {
    LCopyPath(block.data() + 4 + LMAX_PATH * slot, text.c_str());
}

}  // namespace

std::vector<std::vector<char>> BuildArgumentBlocks(const std::vector<std::string>& args,
                                                   const char* folder, unsigned long process) {
    std::vector<std::vector<char>> blocks;
    if (args.size() <= size_t(kSlots)) {
        // What one block holds goes as it is: the paths are absolute by now.
        std::vector<char> block(LARGUMENT_BLOCK_SIZE, 0);
        const int32_t count = int32_t(args.size());
        std::memcpy(block.data(), &count, 4);
        for (int i = 0; i < count; ++i) Put(block, i, args[size_t(i)]);
        blocks.push_back(std::move(block));
        return blocks;
    }
    const int given = int(args.size()) - 1;
    const int parts = given <= 0 ? 1 : (given + kPerBlock - 1) / kPerBlock;
    for (int part = 0; part < parts; ++part) {
        std::vector<char> block(LARGUMENT_BLOCK_SIZE, 0);
        int n = 0;
        Put(block, n++, args.empty() ? std::string() : args[0]);
        for (int i = 1 + part * kPerBlock; i <= given && i <= (part + 1) * kPerBlock; ++i)
            Put(block, n++, args[size_t(i)]);
        if (given > 0) {
            Put(block, n++, LFORWARD_MARKER);
            Put(block, n++,
                std::to_string(part + 1) + "/" + std::to_string(parts) + "/" +
                    std::to_string(process));
            Put(block, n++, folder);
        }
        const int32_t count = n;
        std::memcpy(block.data(), &count, 4);
        blocks.push_back(std::move(block));
    }
    return blocks;
}

bool LForwardedArguments::Take(std::vector<std::string> block) {
    const size_t n = block.size();
    int part = 0, parts = 0;
    unsigned long process = 0;
    if (n < 1 + kTail || block[n - kTail] != LFORWARD_MARKER ||
        std::sscanf(block[n - 2].c_str(), "%d/%d/%lu", &part, &parts, &process) != 3) {
        args = std::move(block);  // a block of its own, without a starting folder
        folder.clear();
        next_ = 0;
        return true;
    }
    // A part out of turn (its sender ended half-way) starts over.
    if (part == 1 || part != next_ || process != process_) {
        args.assign(block.begin(), block.begin() + 1);
        process_ = process;
    }
    args.insert(args.end(), block.begin() + 1, block.end() - kTail);
    folder = block[n - 1];
    next_ = part + 1;
    if (part < parts) return false;
    next_ = 0;
    return true;
}
