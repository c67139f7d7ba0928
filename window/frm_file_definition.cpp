#include "frm_file_definition.h"

namespace {

using runtime::Alignment;
using runtime::Colour;
using runtime::ControlKind;
using runtime::Font;

constexpr const char* kSansSerif = "MS Sans Serif";
constexpr Font kRegular825{kSansSerif, 8.25, 400};
constexpr Font kBold825{kSansSerif, 8.25, 700};
constexpr Font kBold975{kSansSerif, 9.75, 700};
constexpr Font kRegular975{kSansSerif, 9.75, 400};
constexpr Colour kWhite = Colour::rgb(255, 255, 255);
constexpr Colour kBlack = Colour::rgb(0, 0, 0);
constexpr Colour kLightGrey = Colour::rgb(192, 192, 192);
constexpr Colour kWindowBackground = Colour::system(5);
constexpr Colour kWindowText = Colour::system(8);
constexpr Colour kActiveBorder = Colour::system(10);

runtime::FormDefinition build()
{
    // Bottom to top: the panel lies above the lists, and its own controls above it.
    return {
        .name = "frmFile",
        .caption = "Open Upgrade File From...",
        .clientWidth = 6105,
        .clientHeight = 4470,
        .font = kRegular825,
        .controls =
            {
                {.kind = ControlKind::Label,
                 .name = "lblHelp",
                 .caption = "Double-Click on the Drive or Folder category to find the file you wish to open.",
                 .geometry = {180, 0, 5475, 555},
                 .tabIndex = 8,
                 .wordWrap = true,
                 .alignment = Alignment::Centre},
                {.kind = ControlKind::Label,
                 .name = "lblDrive",
                 .caption = "Drive:",
                 .geometry = {60, 660, 525, 195},
                 .tabIndex = 11,
                 .font = kBold825,
                 .back = kLightGrey,
                 .fore = kBlack,
                 .transparent = true,
                 .autoSize = true},
                {.kind = ControlKind::DriveList,
                 .name = "Drive1",
                 .geometry = {0, 960, 2235, 315},
                 .tabIndex = 12,
                 .back = kWhite},
                {.kind = ControlKind::Label,
                 .name = "lblDir1",
                 .caption = "Folder:",
                 .geometry = {60, 1440, 600, 195},
                 .tabIndex = 10,
                 .font = kBold825,
                 .fore = kBlack,
                 .transparent = true,
                 .autoSize = true},
                {.kind = ControlKind::Label,
                 .name = "lblFileList1",
                 .caption = "Upgrade File Name:",
                 .geometry = {3000, 1440, 1695, 195},
                 .tabIndex = 9,
                 .font = kBold825,
                 .fore = kBlack,
                 .transparent = true,
                 .autoSize = true},
                {.kind = ControlKind::FolderList,
                 .name = "Dir1",
                 .geometry = {60, 1740, 2715, 2565},
                 .tabIndex = 7,
                 .back = kWhite},
                {.kind = ControlKind::FileList,
                 .name = "FileList1",
                 .geometry = {2940, 1740, 3015, 2625},
                 .tabIndex = 6,
                 .back = kWhite},
                // Part of the window since its first design; nothing shows, reads or changes them.
                {.kind = ControlKind::TextBox,
                 .name = "txtSaveAs",
                 .geometry = {2400, 960, 3135, 315},
                 .tabIndex = 13,
                 .visible = false},
                {.kind = ControlKind::PushButton,
                 .name = "cmdSaveAs",
                 .caption = "OK",
                 .geometry = {5640, 960, 375, 315},
                 .tabIndex = 14,
                 .visible = false},
                {.kind = ControlKind::Label,
                 .name = "lblSaveAs",
                 .caption = "Save File As:",
                 .geometry = {2460, 720, 1140, 195},
                 .tabIndex = 15,
                 .font = kBold825,
                 .back = kLightGrey,
                 .fore = kBlack,
                 .visible = false,
                 .transparent = true,
                 .autoSize = true},
                {.kind = ControlKind::Panel,
                 .name = "picFileOpen",
                 .geometry = {1380, 1620, 3375, 1395},
                 .tabIndex = 0,
                 .back = kActiveBorder,
                 .fore = kWindowText,
                 .visible = false,
                 .flat = true,
                 .border = true},
                {.kind = ControlKind::Label,
                 .name = "lblPointOpen",
                 .caption = "Upgrade with this file...",
                 .geometry = {120, 60, 2355, 240},
                 .tabIndex = 1,
                 .container = "picFileOpen",
                 .font = kBold975,
                 .transparent = true,
                 .autoSize = true},
                {.kind = ControlKind::Label,
                 .name = "lblOpenFileName",
                 .caption = "lblFileName",
                 .geometry = {120, 360, 2250, 240},
                 .tabIndex = 2,
                 .container = "picFileOpen",
                 .font = kRegular975,
                 .back = kWindowBackground,
                 .fore = kWindowText,
                 .transparent = true,
                 .flat = true},
                {.kind = ControlKind::PushButton,
                 .name = "cmdOpenOK",
                 .caption = "OK",
                 .geometry = {120, 780, 855, 255},
                 .tabIndex = 3,
                 .container = "picFileOpen"},
                {.kind = ControlKind::PushButton,
                 .name = "cmdOpenCancel",
                 .caption = "Cancel",
                 .geometry = {1080, 780, 795, 255},
                 .tabIndex = 5,
                 .container = "picFileOpen"},
                {.kind = ControlKind::PushButton,
                 .name = "cmdOpenBack",
                 .caption = "Return to List",
                 .geometry = {1980, 780, 1155, 255},
                 .tabIndex = 4,
                 .container = "picFileOpen"},
                {.kind = ControlKind::CheckBox,
                 .name = "chkProp",
                 .caption = "Ignore Associated Properties",
                 .geometry = {180, 1080, 2835, 255},
                 .tabIndex = 16,
                 .container = "picFileOpen",
                 .visible = false},
            },
    };
}

} // namespace

const runtime::FormDefinition& frmFileDefinition()
{
    static const runtime::FormDefinition definition = build();
    return definition;
}
