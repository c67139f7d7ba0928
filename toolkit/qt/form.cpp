#include "form.h"

#include "display_text.h"
#include "drive_list.h"
#include "file_list.h"
#include "folder_list.h"
#include "label.h"
#include "panel.h"
#include "push_button.h"
#include "toolkit/label_names.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>

namespace qt {

namespace {

// The layout is given in twips; 15 of them make a pixel at 96 dots per inch, and Qt scales
// pixels on other displays.
constexpr int px(int twips)
{
    return twips / 15;
}

QRect pixels(const runtime::Twips& t)
{
    return QRect(px(t.left), px(t.top), px(t.width), px(t.height));
}

QFont fontOf(const runtime::Font& font)
{
    QFont qfont(QString::fromLatin1(font.face));
    qfont.setStyleHint(QFont::SansSerif);
    qfont.setPointSizeF(font.points);
    qfont.setWeight(static_cast<QFont::Weight>(font.weight));
    return qfont;
}

QColor rgbOf(const runtime::Colour& colour)
{
    return QColor((colour.value >> 16) & 0xff, (colour.value >> 8) & 0xff, colour.value & 0xff);
}

// Gives `widget` the colour `colour` for the palette role `role`: a plain value, or the
// role that stands for a system colour, so that the desktop's palette decides when drawn.
void applyColour(QWidget* widget, const runtime::Colour& colour, QPalette::ColorRole role, bool background)
{
    if (colour.kind == runtime::Colour::Kind::Rgb) {
        QPalette palette = widget->palette();
        palette.setColor(role, rgbOf(colour));
        if (role == QPalette::Base)
            palette.setColor(QPalette::Button, rgbOf(colour)); // a drop-down's face
        widget->setPalette(palette);
    } else if (colour.kind == runtime::Colour::Kind::System) {
        const auto systemRole = SystemColourRole(static_cast<int>(colour.value));
        if (background)
            widget->setBackgroundRole(systemRole);
        else
            widget->setForegroundRole(systemRole);
    }
}

bool isList(runtime::ControlKind kind)
{
    return kind == runtime::ControlKind::DriveList || kind == runtime::ControlKind::FolderList ||
           kind == runtime::ControlKind::FileList;
}

} // namespace

Form::Form(const runtime::FormDefinition& definition, runtime::Actions& actions)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QString::fromLatin1(definition.name));
    setCaption(definition.caption);
    if (definition.font.face != nullptr)
        setFont(fontOf(definition.font));
    setFixedSize(px(definition.clientWidth), px(definition.clientHeight));

    for (const auto& control : definition.controls) {
        QWidget* container = this;
        if (control.container != nullptr)
            container = m_controls.at(control.container);
        QWidget* widget = create(control, container, actions);
        widget->setObjectName(QString::fromLatin1(control.name));
        if (!control.visible)
            widget->hide();
        m_controls.emplace(control.name, widget);
    }
    nameListsByTheirLabels(definition);
    orderTabs(definition);
    // The window system's window is made now, not when the form first shows: showing it is
    // then only putting it on the screen.
    ensurePolished();
    winId();
}

QWidget* Form::create(const runtime::ControlDefinition& control, QWidget* container,
                      runtime::Actions& actions)
{
    using Kind = runtime::ControlKind;
    const QString caption = DisplayText(control.caption);
    QWidget* widget = nullptr;
    switch (control.kind) {
    case Kind::Label: {
        auto* label = new Label(container);
        label->setCaption(control.caption);
        label->setWordWrap(control.wordWrap);
        label->setAlignment(control.alignment == runtime::Alignment::Centre
                                ? Qt::AlignHCenter | Qt::AlignTop
                                : Qt::AlignLeft | Qt::AlignVCenter);
        // A transparent label paints only its text; an opaque one its background too.
        label->setAutoFillBackground(!control.transparent);
        widget = label;
        break;
    }
    case Kind::PushButton:
        widget = new PushButton(caption, actions, container);
        break;
    case Kind::CheckBox:
        widget = new QCheckBox(caption, container);
        break;
    case Kind::TextBox:
        widget = new QLineEdit(caption, container);
        break;
    case Kind::Panel:
        widget = new Panel(container);
        break;
    case Kind::DriveList:
        widget = new DriveList(actions, container);
        break;
    case Kind::FolderList:
        widget = new FolderList(actions, container);
        break;
    case Kind::FileList:
        widget = new FileList(actions, container);
        break;
    }
    if (control.font.face != nullptr)
        widget->setFont(fontOf(control.font));
    if (isList(control.kind) || control.kind == Kind::Panel)
        applyColour(widget, control.back, isList(control.kind) ? QPalette::Base : QPalette::Window, true);
    else if (control.kind == Kind::Label && !control.transparent)
        applyColour(widget, control.back, QPalette::Window, true);
    applyColour(widget, control.fore, QPalette::WindowText, false);

    if (control.autoSize) {
        widget->move(px(control.geometry.left), px(control.geometry.top));
        widget->adjustSize();
    } else {
        widget->setGeometry(pixels(control.geometry));
    }
    return widget;
}

// Screen readers name a list, a text box or a panel by the label that names it.
void Form::nameListsByTheirLabels(const runtime::FormDefinition& definition)
{
    for (const auto& control : definition.controls) {
        const runtime::ControlDefinition* label = runtime::NamingLabel(definition, control);
        if (label == nullptr)
            continue;
        QWidget* widget = m_controls.at(control.name);
        widget->setAccessibleName(DisplayText(label->caption));
        if (control.kind != runtime::ControlKind::Panel)
            static_cast<QLabel*>(m_controls.at(label->name))->setBuddy(widget);
    }
}

void Form::orderTabs(const runtime::FormDefinition& definition)
{
    std::vector<const runtime::ControlDefinition*> order;
    for (const auto& control : definition.controls) {
        if (control.kind != runtime::ControlKind::Label)
            order.push_back(&control);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const auto* a, const auto* b) { return a->tabIndex < b->tabIndex; });
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(m_controls.at(order[i - 1]->name), m_controls.at(order[i]->name));
    // Labels never take the focus; the first control that can, does.
    for (const auto* control : order) {
        QWidget* widget = m_controls.at(control->name);
        if (control->visible && widget->focusPolicy() != Qt::NoFocus && widget->isVisibleTo(this)) {
            widget->setFocus();
            break;
        }
    }
}

void Form::setCaption(const std::string& text)
{
    m_caption = text;
    setWindowTitle(DisplayText(text));
}

template <typename T> T& Form::find(const char* name) const
{
    const auto found = m_controls.find(name);
    T* control = found == m_controls.end() ? nullptr : dynamic_cast<T*>(found->second);
    if (control == nullptr)
        throw std::out_of_range(std::string("no such control: ") + name);
    return *control;
}

runtime::Label& Form::label(const char* name)
{
    return find<Label>(name);
}

runtime::PushButton& Form::pushButton(const char* name)
{
    return find<PushButton>(name);
}

runtime::Panel& Form::panel(const char* name)
{
    return find<Panel>(name);
}

runtime::DriveList& Form::driveList(const char* name)
{
    return find<DriveList>(name);
}

runtime::FolderList& Form::folderList(const char* name)
{
    return find<FolderList>(name);
}

runtime::FileList& Form::fileList(const char* name)
{
    return find<FileList>(name);
}

void Form::showCentred()
{
    const QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr)
        setGeometry(
            QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
    show();
}

void Form::unload()
{
    m_loaded = false;
    close();
}

void Form::closeEvent(QCloseEvent* event)
{
    m_loaded = false;
    QWidget::closeEvent(event);
}

} // namespace qt
