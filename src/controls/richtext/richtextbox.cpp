#include "controls/richtext/richtextbox.h"

#include <QFile>
#include <QSaveFile>

// Placeholder bodies until the RTF reader and writer land.

RichTextBox::RichTextBox(QWidget *parent) : QTextEdit(parent)
{
    setAcceptRichText(true);
    resetDefaultFormat();
}

QFont RichTextBox::defaultFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9.75);
    return font;
}

void RichTextBox::resetDefaultFormat()
{
    document()->setDefaultFont(defaultFont());
}

Status RichTextBox::loadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Status::failure(QStringLiteral("Cannot read the entry \"%1\": %2").arg(path, file.errorString()));
    setTextRTF(file.readAll());
    m_fileName = path;
    return Status::success();
}

Status RichTextBox::saveFile(const QString &path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(textRTF()) < 0 || !file.commit())
        return Status::failure(QStringLiteral("Cannot write the entry \"%1\": %2").arg(path, file.errorString()));
    return Status::success();
}

void RichTextBox::setText(const QString &text)
{
    setPlainText(text);
    resetDefaultFormat();
}

QByteArray RichTextBox::textRTF() const
{
    return toPlainText().toUtf8();
}

void RichTextBox::setTextRTF(const QByteArray &rtf)
{
    setPlainText(QString::fromUtf8(rtf));
}
