// Installs the real desktop services at program start, after the QApplication is made: Qt's
// own translations for the desktop's language (so standard buttons read as the user expects),
// QMessageBox boxes, the immediate process end, the Qt cursor, screen and window system, and the
// audio back end named by PLENOVA_AUDIO (real QAudioSink by default). Tests do not call it; they
// install the doubles they need (ScopedScriptedMessageBoxes, ScopedThrowingProcessEnd,
// ScopedScriptedCursor, ScopedFixedScreen, ScopedFixedWindowSystem, ScopedTestAudio).
#pragma once

#include <string>

namespace plenova::platform {

// `programName` becomes the caption of the multimedia service's error boxes.
void InstallDesktopServices(const std::string& programName);

// Qt's own texts (the standard buttons of message boxes, the file and colour dialogs) in the
// desktop's language. Part of InstallDesktopServices; a program that needs no other desktop
// service calls it alone.
void InstallQtTranslations();

}  // namespace plenova::platform
