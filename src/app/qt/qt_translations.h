#pragma once
// Qt's own texts (the Yes, No and OK of a message box, the context menu of an
// edit) in the language the program speaks, so a box is not half Russian.

#include <QTranslator>
#include <memory>

namespace app::qt {

// Installs Qt's translation for the calling thread's language when the program
// speaks it (Russian) and the system has it; removed again when the result goes.
// Null when English stays.
std::unique_ptr<QTranslator> InstallQtTranslations();

}  // namespace app::qt
