// Application-modal message boxes, as the portable core sees them. The style and
// answer values are those of the Windows MessageBox call, so the Win32 side passes
// them through unchanged.
#pragma once

#include <string>

namespace zorvi {

// Styles: button set in the low nibble, icon in the next one.
inline constexpr unsigned kMbOk = 0x00;
inline constexpr unsigned kMbOkCancel = 0x01;
inline constexpr unsigned kMbYesNo = 0x04;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconInformation = 0x40;

// Answers.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

/// The answer of a box nobody is there to see: the cautious one of its button set (No,
/// Cancel, else OK).
constexpr int UnattendedAnswer(unsigned style) {
    switch (style & 0x0F) {
    case kMbYesNo:
        return kIdNo;
    case kMbOkCancel:
        return kIdCancel;
    default:
        return kIdOk;
    }
}

class TMessageBoxes {
public:
    virtual ~TMessageBoxes() = default;
    /// Shows a modal box with UTF-8 text and caption; returns the answer (kId...).
    virtual int ShowMessageBox(const std::string& text, const std::string& caption,
                               unsigned style) = 0;
};

} // namespace zorvi
