#pragma once

#include <cstdint>
#include <vector>

namespace runtime {

/// The kinds of control a window is built from.
enum class ControlKind { Label, PushButton, CheckBox, TextBox, Panel, DriveList, FolderList, FileList };

/// A rectangle in twips (1/1440 inch; 15 make a pixel at 96 dots per inch), relative to
/// the client area of the control's container.
struct Twips {
    int left{0};
    int top{0};
    int width{0};
    int height{0};
};

/// A colour as a window definition gives it: the kind's default, a plain RGB value, or a
/// system colour by index (5 window background, 8 window text, 10 active window border),
/// looked up whenever the control is drawn.
struct Colour {
    enum class Kind { Default, Rgb, System };
    Kind kind{Kind::Default};
    std::uint32_t value{0}; ///< 0xRRGGBB, or the system colour's index

    static constexpr Colour rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        return {Kind::Rgb, (std::uint32_t{r} << 16) | (std::uint32_t{g} << 8) | b};
    }
    static constexpr Colour system(int index) { return {Kind::System, static_cast<std::uint32_t>(index)}; }
    constexpr bool isDefault() const { return kind == Kind::Default; }
};

/// A font; a null face in a control means the window's font.
struct Font {
    const char* face{nullptr};
    double points{0};
    int weight{400}; ///< 400 regular, 700 bold
};

enum class Alignment { Left, Centre };

/// One control of a window, as it is when the window is created.
struct ControlDefinition {
    ControlKind kind{ControlKind::Label};
    const char* name{""};
    const char* caption{""}; ///< caption or text; "" for the lists
    Twips geometry;
    int tabIndex{0};
    const char* container{nullptr}; ///< the panel that holds it, or null for the window
    Font font;
    Colour back;
    Colour fore;
    bool visible{true};
    bool transparent{false}; ///< a label that paints only its text
    bool flat{false};        ///< a flat look instead of a sunken edge
    bool border{false};      ///< a single-line border (panels)
    bool autoSize{false};    ///< a label that fits itself to its caption, keeping its corner
    bool wordWrap{false};
    Alignment alignment{Alignment::Left};
};

/// A top-level window: fixed single border, no minimise or maximise button, centred when
/// shown. Controls are listed bottom to top: a later control lies above an earlier one
/// it overlaps, and a panel comes before the controls it holds.
struct FormDefinition {
    const char* name{""};
    const char* caption{""};
    int clientWidth{0};  ///< twips
    int clientHeight{0}; ///< twips
    Font font;           ///< the font of every control that names none
    std::vector<ControlDefinition> controls;
};

} // namespace runtime
