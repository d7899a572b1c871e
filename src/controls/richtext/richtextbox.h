#pragma once

#include "controls/status.h"

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

    // Arial 9.75 pt: the windows' font and the default character format of every box.
    static QFont defaultFont();

    // What a document read from RTF holds, found before it is built.
    struct Measure {
        qsizetype characters = 0;
        qsizetype paragraphs = 0;
        bool unbreakable = false; // a word too long to wrap at word boundaries
        bool tooLarge() const;
    };

private:
    void resetDefaultFormat();
    static Measure measureDocument(const QByteArray &rtf);
    void showDocument(const QByteArray &rtf, const Measure &measure);

    QString m_fileName;
};
