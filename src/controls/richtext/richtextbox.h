#pragma once

#include "entryfile/status.h"
#include "rtf/rtfmeasure.h"

#include <QByteArray>
#include <QString>
#include <QTextEdit>

// The program's rich-text control: a QTextEdit whose document moves to and from
// entry files as RTF. It offers only the members the windows use.
class RichTextBox : public QTextEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RichTextBox)

public:
    explicit RichTextBox(QWidget *parent = nullptr);

    // Replaces the whole document by the one in the file. On success fileName()
    // reports the path; on failure the document and fileName() are left as they were.
    Status loadFile(const QString &path);
    // Writes the whole document as RTF, creating or replacing the file atomically.
    Status saveFile(const QString &path) const;

    // Only ever given "": empties the document and keeps the default character format.
    void setText(const QString &text);

    QByteArray textRTF() const;
    void setTextRTF(const QByteArray &rtf);

    QString fileName() const { return m_fileName; }

private:
    void resetDefaultFormat();
    void showDocument(const QByteArray &rtf, const rtf::Measure &measure);

    QString m_fileName;
};
