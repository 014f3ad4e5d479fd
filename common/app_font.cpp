// createAppFont: the face follows the platform facts taken at window creation.
#include "common/app_font.h"

#include "common/platform_facts.h"

namespace {

constexpr DWORD newerSmartphoneVersion = 5;  // "Segoe Condensed" from this version on

}  // namespace

HFONT createAppFont(int height, BOOL bold, int style, BOOL clearType) {
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfItalic = style == 3;
    font.lfUnderline = style == 1;
    font.lfStrikeOut = style == 2;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = clearType ? CLEARTYPE_QUALITY : DEFAULT_QUALITY;
    LPCWSTR face = isSmartphone == 0                          ? u"Tahoma"
                   : osMajorVersion >= newerSmartphoneVersion ? u"Segoe Condensed"
                                                              : u"Nina";
    lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    return CreateFontIndirectW(&font);
}
