// SPDX-License-Identifier: MIT
#pragma once
// The dialog base classes. CDialogKn builds its window from a template: member controls registered
// for an id before the window exists are bound to that id, every other template control gets a
// plain widget of its kind. Enter and Escape never end the dialog; the close box goes to OnClose.
// CDialogKn2 adds the per-user settings file and remembers the window's position in it.

#include <QDialog>
#include <map>
#include <string>

#include "res/qlxduo_template.h"
#include "ui/dialogsettings.h"

class CDialogKn : public QDialog {
    Q_OBJECT

public:
    CDialogKn(unsigned templateId, QWidget* parent);

    // Registers a member control for a template id; call before the window is created.
    void AttachControl(int id, QWidget& control);
    // The control of a template id once the window exists; nullptr before or for unknown ids.
    QWidget* GetDlgItem(int id) const;

    // Creates the window (once): caption, font, fixed client size from the template, then
    // OnInitDialog. Showing the dialog does this on its own. Returns OnInitDialog's result (the
    // first one, on later calls).
    bool Create();

    void setVisible(bool visible) override;

protected:
    // Binds the template's controls. Derived classes run their base's version first.
    virtual bool OnInitDialog();
    // The window's close request (close box, window menu, Alt+F4). Ends the dialog unless
    // overridden; an override ends it with reject() or leaves it open.
    virtual void OnClose();

    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Once the window manager has framed the window: places it by its frame's outer size. Centres
    // it in the work area unless overridden.
    virtual void PlaceWithFrame(int width, int height);

private:
    void BuildControls();

    const res::DialogTemplate* m_template;
    std::map<int, QWidget*> m_members;
    std::map<int, QWidget*> m_items;
    bool m_created = false;
    bool m_initResult = false;
    bool m_ended = false;
    bool m_placeWithFramePending = false;
};

class CDialogKn2 : public CDialogKn, public CSettingsLocation {
    Q_OBJECT

public:
    // subFolder: below the per-user application-data folder, "\" separated (null: none).
    CDialogKn2(unsigned templateId, QWidget* parent, const char* subFolder);

    void LoadWindowPos(const std::string& path) override;
    void SaveWindowPos(const std::string& path);
    // Moves the window (frame) to x, y, each axis centred in the work area when it does not fit.
    // width and height are the frame's; the position is worked out once more when the window
    // manager has framed the window, since before that the frame is not known.
    void MoveIntoWorkArea(int x, int y, int width, int height);

protected:
    // Binds the controls, finds or makes the settings folder, restores the position. False after
    // a failure message.
    bool OnInitDialog() override;
    // The position is saved as the dialog ends, after the close handling.
    void done(int result) override;
    void PlaceWithFrame(int width, int height) override;
    void ShowFailureMessage(const std::string& message) override;

private:
    // What the settings file held; the position is worked out again with the frame once shown.
    dlgsettings::StoredPosition m_storedPos{-1, -1};
    bool m_positionLoaded = false;
};
