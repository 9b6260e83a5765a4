// Archives over several volumes: asking for a volume through OnGetNextDisk, and the
// default handler (a prompt for removable disks, the next name for split files).
//
// Split files are named in one of two ways: archive.001, archive.002, ... or, as zip -s
// and most tools today name them, archive.z01, archive.z02, ...; the volume holding the end
// record usually keeps the archive's own name (archive.zip) either way.
#include "zip/ArchiveNames.h"
#include "zip/UnZip.h"
#include "zip/ZipErrors.h"

namespace zorvi {

void TUnZip::RequestDisk(int n) {
    archiveStream_.reset();
    if (!OnGetNextDisk) {
        RaiseUserCanceled();
    }
    std::string name;
    for (;;) {
        name = zipName_;
        OnGetNextDisk(*this, n, name);
        if (name.empty()) {
            RaiseUserCanceled();
        }
        if (FileExists(name)) {
            if (CheckDiskLabels() && MultiMode() == 1) {
                const std::string label = fileSystem_->VolumeLabel(name.substr(0, 2)).substr(0, 11);
                if (label.size() < 3 ||
                    label.substr(label.size() - 3) != VolumeExtension(n).substr(1)) {
                    continue; // another disk is in the drive: ask again
                }
            }
            break;
        }
        // A split volume that is not there will not appear by asking again: the
        // second request for the same missing file ends the search, naming the file.
        // (A removable disk may still be inserted, so its prompt repeats until cancelled.)
        if (MultiMode() != 1 && !missingVolumes_.insert(name).second) {
            RaiseVolumeNotFound(n, name);
        }
    }
    OpenArchiveStream(name);
    CurrentDisk = n - 1;
    ArchiveDate = FileDateValue(name).value_or(0.0);
    zipName_ = name;
}

void TUnZip::DefaultGetNextDisk(int nextDisk, std::string& fName) {
    if (MultiMode() == 1) {
        const std::string text =
            std::string(kTextInsertDisk) + std::to_string(nextDisk) + kTextOfMultiVolume;
        if (ShowMessageBox(text, "", kMbOkCancel) == kIdCancel) {
            fName.clear();
        }
        return;
    }
    const std::string numbered = ChangeFileExt(fName, VolumeExtension(nextDisk));
    const std::string zipStyle = ChangeFileExt(fName, SplitVolumeExtension(nextDisk));
    const bool last = static_cast<std::uint32_t>(nextDisk) == EndRecord.ThisDisk + 1;
    if (FileExists(numbered)) {
        fName = numbered;
    } else if (FileExists(zipStyle)) {
        fName = zipStyle;
    } else if (last && FileExists(lastVolumeName_)) {
        fName = lastVolumeName_;
    } else {
        // Missing: the name in the way this archive's volumes are named, so that the error
        // names the file a person would look for.
        const bool byNumber = ChangeFileExt(fName, VolumeExtension(CurrentDisk + 1)) == fName;
        fName = byNumber ? numbered : zipStyle;
    }
}

} // namespace zorvi
