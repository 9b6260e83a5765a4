// Watches an extraction through the component's events, for the loops over many archives:
// every entry that starts ends in exactly one verdict (extracted, skipped, failed its CRC-32,
// failed otherwise) unless an error ends the run there, no entry writes more than its
// recorded size, and what counts as extracted has exactly that size on disk.
#pragma once

#include "zip/FileSystemShim.h"
#include "zip/UnZip.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

namespace zorvi::test {

class TExtractionWatch {
public:
    explicit TExtractionWatch(TUnZip& unzip) {
        unzip.OnStartUnZip = [this](TUnZip& sender, int index, std::string&, bool&) {
            EXPECT_FALSE(open_) << "entry " << openIndex_ << " ended without a verdict";
            open_ = true;
            openIndex_ = index;
            startBytes_ = sender.BytesDone();
        };
        unzip.OnTotalPercentDone = [this](TUnZip& sender, int) {
            EXPECT_LE(sender.BytesDone() - startBytes_,
                      static_cast<std::int64_t>(sender.CurrentHeader.UncompressedSize))
                << sender.CurrentHeader.PathName() << ": more than its recorded size";
        };
        unzip.OnEndUnZip = [this](TUnZip& sender, int, const std::string& path) {
            Extracted[path] = sender.CurrentHeader.UncompressedSize;
            open_ = false;
        };
        unzip.OnSkippingFile = [this](TUnZip&, TSkipReason, const std::string&, int, bool&) {
            open_ = false;
        };
        unzip.OnBadCRC = [this](TUnZip&, std::uint32_t, std::uint32_t, int) { open_ = false; };
        unzip.OnEntryFailed = [this](TUnZip&, TEntryFailure, const std::string&, int) {
            open_ = false;
        };
    }

    /// After the run: `stopped` when an error ended it (the entry open then has no verdict).
    void ExpectVerdicts(bool stopped) const {
        EXPECT_TRUE(!open_ || stopped) << "entry " << openIndex_ << " ended without a verdict";
        for (const auto& [path, size] : Extracted) {
            std::error_code error;
            EXPECT_EQ(std::filesystem::file_size(ToFsPath(path), error), size) << path;
        }
    }

    /// Extracted files (as the component names them) and their recorded sizes.
    std::map<std::string, std::uint64_t> Extracted;

private:
    bool open_ = false;
    int openIndex_ = -1;
    std::int64_t startBytes_ = 0;
};

} // namespace zorvi::test
