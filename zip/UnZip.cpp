// The component's properties and its small helpers: the setters that normalise the
// folder names or drop a directory that belongs to another archive, the sorted view, the
// entry names and comments as set by the caller, and the message boxes and the message
// pump as the component shows and runs them when the platform seams are not installed.
#include "zip/UnZip.h"
#include "zip/ArchiveNames.h"
#include "zip/ZipErrors.h"

#include <algorithm>

namespace zorvi {

void TUnZip::SetZipName(const std::string& name) {
    if (SameFileName(name, zipName_)) {
        return;
    }
    zipName_ = name;
    FreeEntries();
    ArchiveDate = 0.0;
    EndRecord.Clear();
    archiveStream_.reset();
    Rebuilt = false;
    missingVolumes_.clear();
}

void TUnZip::SetDestDir(const std::string& dir) {
    destDir_ = dir;
    if (!destDir_.empty() && destDir_.back() == '\\') {
        destDir_.pop_back();
    }
}

void TUnZip::SetRootDir(const std::string& dir) {
    rootDir_ = dir;
    if (!rootDir_.empty() && rootDir_.back() != '\\') {
        rootDir_ += '\\';
    }
}

int TUnZip::ShowMessageBox(const std::string& text, const std::string& caption, unsigned style) {
    if (MessageBoxes != nullptr) {
        return MessageBoxes->ShowMessageBox(text, caption, style);
    }
    return UnattendedAnswer(style);
}

void TUnZip::PumpMessages() {
    if (DoProcessMessages && ProcessMessages) {
        ProcessMessages();
    }
}

int TUnZip::EntryCount() const {
    return entries_ ? entries_->Count() : 0;
}

void TUnZip::ApplySortMode(TZipSortMode mode) {
    sortedView_.reset();
    if (mode == TZipSortMode::ByNone || !entries_) {
        sortedEntries_ = entries_.get();
    } else {
        sortedView_ = std::make_unique<TSortedZip>(mode, TDuplicates::Accept, false);
        std::vector<TPersistentObject*> items;
        items.reserve(static_cast<std::size_t>(entries_->Count()));
        for (int i = 0; i < entries_->Count(); ++i) {
            items.push_back(entries_->Get(i));
        }
        sortedView_->AddAll(items);
        sortedEntries_ = sortedView_.get();
    }
    SortMode = mode;
}

void TUnZip::CheckEntryIndex(int index) const {
    if (index < 0 || index >= EntryCount()) {
        RaiseListError(kTextIndexOutOfRange, index);
    }
}

std::string TUnZip::EntryFileName(int index) const {
    CheckEntryIndex(index);
    return sortedEntries_->Entry(index)->FileName();
}

void TUnZip::SetEntryComment(int index, const std::string& comment) {
    CheckEntryIndex(index);
    TZipHeaderInfo& entry = *sortedEntries_->Entry(index);
    if (entry.FileComment.value_or("") != comment) {
        entry.FileComment = comment;
        entry.FileCommentLength =
            static_cast<std::uint16_t>(std::min<std::size_t>(comment.size(), 0xFFFF));
        EndRecord.CommentModified = true;
    }
}

void TUnZip::SetArchiveComment(const std::string& comment) {
    if (EndRecord.ZipComment.value_or("") != comment) {
        EndRecord.ZipComment = comment;
        EndRecord.CommentLength =
            static_cast<std::uint16_t>(std::min<std::size_t>(comment.size(), 0xFFFF));
        EndRecord.CommentModified = true;
    }
}

} // namespace zorvi
