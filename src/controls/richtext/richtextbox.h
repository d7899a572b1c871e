#pragma once

#include "entryfile/entryfile.h"
#include "entryfile/status.h"

#include <QByteArray>
#include <QString>
#include <QTextEdit>

#include <functional>

// The program's rich-text control: a QTextEdit whose document moves to and from
// entry files as RTF. It offers only the members the windows use.
class RichTextBox : public QTextEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RichTextBox)

public:
    explicit RichTextBox(QWidget *parent = nullptr);

    enum SaveMode {
        CheckFile,     // refuse to replace a file that changed since the box knew it
        ReplaceAnyway, // the user has agreed to replace whatever stands there now
    };

    // Replaces the whole document by the one in the file. On success fileName()
    // reports the path and the document counts as unmodified; on failure the document
    // and fileName() are left as they were.
    Status loadFile(const QString &path);
    // Writes the whole document as RTF, creating or replacing the file atomically. A
    // document too large to be shown again is refused. The box remembers the file it
    // last loaded, saved or created: saving there again first checks that nothing wrote
    // that file, deleted it or put another in its place since, and if something did,
    // writes nothing and returns the conflict (Status::conflict()). On success the
    // document counts as unmodified.
    Status saveFile(const QString &path, SaveMode mode = CheckFile);
    // Writes the whole document as a new file, never replacing anything at the path.
    Status createFile(const QString &path);
    // From now on the box's text belongs to the file the other box last loaded, saved
    // or created, as that file was then.
    void adoptFile(const RichTextBox &other);

    // Only ever given "": empties the document and keeps the default character format.
    void setText(const QString &text);

    QByteArray textRTF() const;
    void setTextRTF(const QByteArray &rtf);
    // Replaces the whole document by a copy of the other box's: what
    // setTextRTF(source.textRTF()) would show, without writing and reading RTF again.
    // `prepare` may change the copy before the box shows it, where a change costs no
    // layout.
    void setTextFrom(const RichTextBox &source,
                     const std::function<void(QTextDocument &)> &prepare = {});

    QString fileName() const { return m_fileName; }
    // True when the box holds the text of the file at path as that file is now: the box
    // last loaded, saved or created it there, and nothing has written, replaced or
    // removed it since. Looks at the file, so it is no cheap property.
    bool holdsCurrent(const QString &path) const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    class LayoutPacer;

    void resetDefaultFormat();
    void setWrapAnywhere(bool anywhere);
    // A document for the box to take, not laid out until it does.
    QTextDocument *newDocument();
    // Shows a document from newDocument() in place of the current one, which it frees.
    void adopt(QTextDocument *document);

    // The last path given to loadFile().
    QString m_fileName;
    // The file whose text the box holds, and what that file was when the box last read
    // or wrote it.
    QString m_knownPath;
    entryfile::Stamp m_knownStamp;
    LayoutPacer *m_pacer;
};
