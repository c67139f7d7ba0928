#include "support/headless_toolkit.h"

#include <stdexcept>

#include <gtest/gtest.h>

namespace testsupport {

void HeadlessToolkit::DriveList::choose(const std::string& name)
{
    const auto& drives = state.drives();
    for (std::size_t row = 0; row < drives.size(); ++row) {
        if (drives[row].name == name) {
            state.choose(static_cast<int>(row));
            return;
        }
    }
    ADD_FAILURE() << "no drive " << name;
}

std::vector<std::string> HeadlessToolkit::FolderList::labels() const
{
    std::vector<std::string> out;
    for (const auto& row : state.rows())
        out.push_back(row.label);
    return out;
}

int HeadlessToolkit::FolderList::rowOf(const std::string& label) const
{
    const auto& rows = state.rows();
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (rows[row].label == label)
            return static_cast<int>(row);
    }
    ADD_FAILURE() << "no folder entry " << label;
    return -1;
}

void HeadlessToolkit::FolderList::click(const std::string& label)
{
    selected = rowOf(label);
    if (selected >= 0)
        state.click.raise();
}

void HeadlessToolkit::FolderList::doubleClick(const std::string& label)
{
    click(label);
    if (selected >= 0)
        state.open(selected);
}

std::string HeadlessToolkit::FileList::fileName()
{
    state.readIfStale();
    return selected >= 0 ? names[static_cast<std::size_t>(selected)] : std::string();
}

void HeadlessToolkit::FileList::click(const std::string& name)
{
    for (std::size_t row = 0; row < names.size(); ++row) {
        if (names[row] == name) {
            selected = static_cast<int>(row);
            state.click.raise();
            return;
        }
    }
    ADD_FAILURE() << "no file entry " << name;
}

HeadlessToolkit::Form::Form(const runtime::FormDefinition& definition, runtime::Actions& actions)
    : m_caption(definition.caption)
{
    using Kind = runtime::ControlKind;
    for (const auto& control : definition.controls) {
        std::shared_ptr<void> made;
        switch (control.kind) {
        case Kind::Label: {
            auto label = std::make_shared<Label>();
            label->text = control.caption;
            made = label;
            break;
        }
        case Kind::PushButton:
            made = std::make_shared<PushButton>(actions, control.caption);
            break;
        case Kind::Panel: {
            auto panel = std::make_shared<Panel>();
            panel->shown = control.visible;
            made = panel;
            break;
        }
        case Kind::DriveList:
            made = std::make_shared<DriveList>(actions);
            break;
        case Kind::FolderList:
            made = std::make_shared<FolderList>(actions);
            break;
        case Kind::FileList:
            made = std::make_shared<FileList>(actions);
            break;
        case Kind::CheckBox:
        case Kind::TextBox:
            continue; // the window's code uses neither
        }
        m_controls.emplace(std::string(control.name) + "/" + std::to_string(static_cast<int>(control.kind)),
                           made);
    }
}

template <typename T> T& HeadlessToolkit::Form::find(const char* name)
{
    using Kind = runtime::ControlKind;
    Kind kind = Kind::Label;
    if constexpr (std::is_same_v<T, PushButton>)
        kind = Kind::PushButton;
    else if constexpr (std::is_same_v<T, Panel>)
        kind = Kind::Panel;
    else if constexpr (std::is_same_v<T, DriveList>)
        kind = Kind::DriveList;
    else if constexpr (std::is_same_v<T, FolderList>)
        kind = Kind::FolderList;
    else if constexpr (std::is_same_v<T, FileList>)
        kind = Kind::FileList;
    const auto found = m_controls.find(std::string(name) + "/" + std::to_string(static_cast<int>(kind)));
    if (found == m_controls.end())
        throw std::out_of_range(std::string("no such control: ") + name);
    return *static_cast<T*>(found->second.get());
}

std::unique_ptr<runtime::Form> HeadlessToolkit::createForm(const runtime::FormDefinition& definition,
                                                           runtime::Actions& actions)
{
    auto form = std::make_unique<Form>(definition, actions);
    m_last = form.get();
    return form;
}

} // namespace testsupport
