#pragma once
// The program's message boxes: only an OK button, the title "Sondrel". Tests replace the
// screen with a recorder so that boxes never wait for a click.
#include <QString>
#include <functional>

class QWidget;

// Shows a modal box and returns when it is closed.
void SondrelMessageBox(QWidget* parent, const QString& text);

// Shows a box without waiting for it; while a box with the same text is open, no second one
// opens (a failure that repeats every round must not cover the screen).
void SondrelMessageBoxNonModal(QWidget* parent, const QString& text);

// While set, every box goes to the recorder instead of the screen.
using MessageBoxRecorder = std::function<void(const QString& text)>;
void SetMessageBoxRecorder(MessageBoxRecorder recorder);

// Number of non-modal boxes open now.
int OpenNonModalBoxCount();
