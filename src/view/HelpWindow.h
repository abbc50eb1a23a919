// The user manual in a window of its own ("Hilfe"), opened with F1 from
// every tab, with the link in the bottom bar and from the about box. The
// manual is an HTML file installed with the program; a copy built into the
// program stands in when the installed one is missing (a build tree).
#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>

class QTextBrowser;

class THelpWindow : public QDialog {
    Q_OBJECT
public:
    // `programDir` is the folder of the running program, ending in "/".
    explicit THelpWindow(const QString& programDir, QWidget* parent = nullptr);

    // The installed manual for a program in `programDir`
    // (PREFIX/bin/ -> PREFIX/share/glyphwell/handbuch.html), or the built-in
    // copy when there is none.
    static QString ManualSource(const QString& programDir);

    // Shows the window (or brings it to the front) at a section of the
    // manual (an anchor such as "schriftarten"), or at its top.
    void ShowManual(const QString& section = QString());

    QTextBrowser* Browser = nullptr;

private:
    QUrl manual_;
};
