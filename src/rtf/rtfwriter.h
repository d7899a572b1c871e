#pragma once

#include <QByteArray>

class QTextDocument;

namespace rtf {

// Writes the document as RTF in the form the entry files use: cp1251 with
// \'hh escapes, \uN? for everything cp1251 lacks, one CR LF + \par per paragraph.
// Text in the default format (the entry font) gives the plain three-line form;
// formatting adds font and colour tables and the usual control words.
QByteArray write(const QTextDocument &document);

} // namespace rtf
