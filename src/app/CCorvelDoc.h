#pragma once
// The document: carries the list to and from list files. It holds the hosts last read from
// or written to a file and that file's interval; the view's host table is the list itself.
// Opening, saving and New go through here; the result reaches the view as WM_LIST_MODIFIED.
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "model/HostRecord.h"

class CCorvelView;
class QWidget;

class CCorvelDoc {
public:
    CCorvelDoc() = default;

    // The window dialogs and message boxes belong to.
    void SetWindow(QWidget* window) { m_pWindow = window; }

    // New (Ctrl+N): an empty list; the interval in force stays.
    bool OnNewDocument();
    // Reads a list file into the document and hands it to the view. On failure the user is
    // told and the document, the list and the current file stay as they were.
    bool OnOpenDocument(const QString& path);
    // Writes the view's list to a file (atomically) and remembers it as the current file.
    bool OnSaveDocument(const QString& path);

    // The File menu.
    void OnFileNew();
    void OnFileOpen();
    void OnFileSave();
    void OnFileSaveAs();
    // Opens a file as the toolkit's open command does (recent files, drops, command line,
    // a second start): the file becomes the current one and goes to the recent list.
    bool OpenDocumentFile(const QString& path);

    // The current file ("" for a new list).
    const QString& PathName() const { return m_strPathName; }
    // Told of every file opened or saved (the recent-file list).
    std::function<void(const QString&)> onRecentFile;

    // Members the view reads and sets.
    bool m_bViewReady = false;
    CCorvelView* m_pView = nullptr;
    std::vector<sondrel::HostEntry> m_entries;
    uint32_t m_nInterval = 3;

private:
    // Saving: the view's interval and hosts, in table order; the bytes to write.
    std::string SerializeStore();
    void Report(const QString& text) const;

    QWidget* m_pWindow = nullptr;
    QString m_strPathName;
};
