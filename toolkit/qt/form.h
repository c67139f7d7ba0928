#pragma once

#include "toolkit/actions.h"
#include "toolkit/form_definition.h"
#include "toolkit/toolkit.h"

#include <map>
#include <string>

#include <QWidget>

namespace qt {

/// A window built from its definition with Qt widgets; each control's object name is its
/// name in the definition.
class Form : public QWidget, public runtime::Form {
    Q_OBJECT

public:
    Form(const runtime::FormDefinition& definition, runtime::Actions& actions);

    std::string caption() const override { return m_caption; }
    void setCaption(const std::string& text) override;

    runtime::Label& label(const char* name) override;
    runtime::PushButton& pushButton(const char* name) override;
    runtime::Panel& panel(const char* name) override;
    runtime::DriveList& driveList(const char* name) override;
    runtime::FolderList& folderList(const char* name) override;
    runtime::FileList& fileList(const char* name) override;

    void showCentred() override;
    void unload() override;
    bool isLoaded() const override { return m_loaded; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* create(const runtime::ControlDefinition& control, QWidget* container, runtime::Actions& actions);
    void nameListsByTheirLabels(const runtime::FormDefinition& definition);
    void orderTabs(const runtime::FormDefinition& definition);
    template <typename T> T& find(const char* name) const;

    std::string m_caption;
    std::map<std::string, QWidget*, std::less<>> m_controls;
    bool m_loaded{true};
};

} // namespace qt
