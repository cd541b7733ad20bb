// SPDX-License-Identifier: GPL-3.0-or-later
// The run's windows, as one table: for each entry its menu place, the action's object
// name, caption and shortcut, how the window is made from the run and how the entry
// opens it. Entries naming the same window share it (the Bank window's file and send
// commands). Windows marked atStart are made by createStartWindows, in table order;
// the others at first use. The list owns what it made and takes it down in reverse.
// Adding a window is its own file pair and one entry in the table.
#pragma once

#include <QKeySequence>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/menuentry.h"

struct TTarvik;

struct TWindowEntry {
    enum class Made { atStart, atFirstUse };
    const char* window;   // the window's key in the list
    TMenuPlace place;
    const char* action;   // the menu action's object name
    const char* caption;
    QKeySequence shortcut;
    Made made;
    std::function<std::unique_ptr<QWidget>(TTarvik&)> make;
    // What choosing the entry does with its window: show it, run it as a dialog.
    std::function<void(QWidget&)> open;
};

class TWindowList {
public:
    explicit TWindowList(TTarvik& run);
    ~TWindowList();
    TWindowList(const TWindowList&) = delete;
    TWindowList& operator=(const TWindowList&) = delete;

    const std::vector<TWindowEntry>& entries() const { return table; }
    // The windows made at start, in table order.
    void createStartWindows();
    // The window of that key, made now when it is not yet; null for an unknown key.
    QWidget* window(const std::string& key);
    template <class T> T* window(const std::string& key) { return static_cast<T*>(window(key)); }
    // The window of that key when it is made already, else null.
    QWidget* made(const std::string& key) const;
    // Does what choosing the entry does.
    void open(const TWindowEntry& entry);
    // The entries as the main window hosts them.
    std::vector<TMenuEntry> menuEntries();

    // Where the windows were left: each window made is put back there (inside the
    // available area of a screen), and keepPlaces writes where they are now, the main
    // window's among them, to WINDOWS.INI in the working directory.
    void keepPlaces() const;
    static void placeWindow(QWidget& window, const QString& key);

    // Opening a window: shown, raised and made active; or run as a modal dialog.
    static void bringUp(QWidget& window);
    static void runDialog(QWidget& window);

private:
    TTarvik& run;
    std::vector<TWindowEntry> table;
    std::vector<std::pair<std::string, std::unique_ptr<QWidget>>> windows;
};
