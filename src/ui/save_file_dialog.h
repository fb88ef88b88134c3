#pragma once

#include <QString>

class QWidget;

namespace velquor {

// Asks for a file to save to, with the usual confirmation before replacing one. A
// name typed without an extension gets defaultSuffix ("png" makes "trace" into
// "trace.png"), and the replace question is asked about that name. Empty when the
// user cancels.
QString AskSaveFile(QWidget* parent, const QString& caption, const QString& defaultName,
                    const QString& filter, const QString& defaultSuffix);

}  // namespace velquor
