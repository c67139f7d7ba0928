#pragma once

#include "support/recording_dialogs.h"
#include "toolkit/drive_list_state.h"
#include "toolkit/file_list_state.h"
#include "toolkit/folder_list_state.h"
#include "toolkit/toolkit.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

/// A window toolkit without a screen, for the window's behaviour on every platform: its
/// controls keep what a real one would show, built on the same list states, and the test
/// acts as the user through press, choose, click and open. Each event runs as one action,
/// as the real toolkits deliver it.
class HeadlessToolkit : public runtime::Toolkit {
public:
    class Label : public runtime::Label {
    public:
        std::string caption() const override { return text; }
        void setCaption(const std::string& caption) override { text = caption; }
        std::string text;
    };

    class PushButton : public runtime::PushButton {
    public:
        PushButton(runtime::Actions& actions, std::string shown) : caption(std::move(shown)), m_click(actions)
        {}
        void onClick(runtime::Event handler) override { m_click.bind(std::move(handler)); }
        void press() { m_click.raise(); }
        std::string caption;

    private:
        runtime::UserEvent<> m_click;
    };

    class Panel : public runtime::Panel {
    public:
        bool isShown() const override { return shown; }
        void show() override { shown = true; }
        void hide() override { shown = false; }
        bool shown{true};
    };

    class DriveList : public runtime::DriveList {
    public:
        explicit DriveList(runtime::Actions& actions) : state(actions, [] {}) {}
        runtime::Drive currentDrive() const override { return state.currentDrive(); }
        void setDrive(const std::string& path) override { state.setDrive(path); }
        void onChange(runtime::Event handler) override { state.change.bind(std::move(handler)); }
        /// The user picks the drive named `name` among those the list shows.
        void choose(const std::string& name);
        runtime::DriveListState state;
    };

    class FolderList : public runtime::FolderList {
    public:
        explicit FolderList(runtime::Actions& actions)
            : state(actions, [this](const auto&, int current) { selected = current; })
        {}
        std::string path() const override { return state.path(); }
        void setPath(const std::string& path) override { state.setPath(path); }
        void goToDrive(const runtime::Drive& drive) override { state.goToDrive(drive); }
        void onChange(runtime::Event handler) override { state.change.bind(std::move(handler)); }
        void onClick(runtime::Event handler) override { state.click.bind(std::move(handler)); }
        void onOpenFailed(OpenFailed handler) override { state.openFailed.bind(std::move(handler)); }

        /// The labels of the rows, top to bottom.
        std::vector<std::string> labels() const;
        /// The row labelled `label`; fails the test and gives -1 when there is none.
        int rowOf(const std::string& label) const;
        void click(const std::string& label);
        /// A double click: a click, then the open, as the real lists deliver it.
        void doubleClick(const std::string& label);

        runtime::FolderListState state;
        int selected{-1};
    };

    class FileList : public runtime::FileList {
    public:
        explicit FileList(runtime::Actions& actions)
            : state(actions, [this](std::vector<std::string> shown) {
                  names = std::move(shown);
                  selected = -1;
              })
        {}
        std::string path() const override { return state.path(); }
        std::string shownPath() const override { return state.shownPath(); }
        void setPath(const std::string& path) override { state.setPath(path); }
        void setPattern(const std::string& pattern) override { state.setPattern(pattern); }
        void refresh() override { state.refresh(); }
        std::string fileName() override;
        void onClick(runtime::Event handler) override { state.click.bind(std::move(handler)); }
        void onReadFailed(ReadFailed handler) override { state.readFailed.bind(std::move(handler)); }

        void click(const std::string& name);

        runtime::FileListState state;
        std::vector<std::string> names;
        int selected{-1};
    };

    class Form : public runtime::Form {
    public:
        Form(const runtime::FormDefinition& definition, runtime::Actions& actions);
        std::string caption() const override { return m_caption; }
        void setCaption(const std::string& text) override { m_caption = text; }
        Label& label(const char* name) override { return find<Label>(name); }
        PushButton& pushButton(const char* name) override { return find<PushButton>(name); }
        Panel& panel(const char* name) override { return find<Panel>(name); }
        DriveList& driveList(const char* name) override { return find<DriveList>(name); }
        FolderList& folderList(const char* name) override { return find<FolderList>(name); }
        FileList& fileList(const char* name) override { return find<FileList>(name); }
        void showCentred() override { shown = true; }
        void unload() override { m_loaded = false; }
        bool isLoaded() const override { return m_loaded; }
        /// What the title bar's close does: the window goes, and no handler runs.
        void closeByTitleBar() { m_loaded = false; }

        bool shown{false};

    private:
        template <typename T> T& find(const char* name);

        std::string m_caption;
        bool m_loaded{true};
        std::map<std::string, std::shared_ptr<void>, std::less<>> m_controls;
    };

    std::unique_ptr<runtime::Form> createForm(const runtime::FormDefinition& definition,
                                              runtime::Actions& actions) override;
    RecordingDialogs& dialogs() override { return recorded; }
    int run() override { return 0; }

    /// The window made last.
    Form& form() const { return *m_last; }
    bool madeAForm() const { return m_last != nullptr; }

    RecordingDialogs recorded;

private:
    Form* m_last{nullptr};
};

} // namespace testsupport
