#include "app/qt/notice_edit.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <climits>
#include <string>
#include <string_view>
#include <utility>

#include "card/notice_text.h"

namespace app::qt {
namespace {

// An edit control lets the user type this much before any limit is set.
constexpr unsigned kDefaultLimit = 32767;

// The document's text with each line break as the CR LF the card keeps. The raw
// text keeps non-breaking spaces, which toPlainText() would turn into plain ones
// and so change the bytes saved to the card; its line breaks are separators.
std::u16string CardText(const QString& raw) {
    std::u16string text(reinterpret_cast<const char16_t*>(raw.utf16()),
                        static_cast<std::size_t>(raw.size()));
    for (char16_t& c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) {
            c = u'\n';
        }
    }
    return notice_text::WithCrLf(text);
}

// Foreign text arrives with any line break convention.
QString ToEditorBreaks(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

}  // namespace

NoticeEdit::NoticeEdit(QWidget* parent) : QPlainTextEdit(parent), limit_(kDefaultLimit) {
    // A dialog's multi-line edit passes Tab on to the next control.
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // One notification per edit, as EN_CHANGE: the document also reports changes
    // of format alone (the first line break in an empty editor gives two).
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        QString text = document()->toRawText();
        if (text == shownText_) {
            return;
        }
        shownText_ = std::move(text);
        if (!programChange_ && onUserChange) {
            onUserChange();
        }
    });
}

void NoticeEdit::SetProgramText(const QString& crLfText) {
    programChange_ = true;
    setPlainText(ToEditorBreaks(crLfText));
    programChange_ = false;
}

QString NoticeEdit::CrLfText() const {
    const std::u16string text = CardText(document()->toRawText());
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

unsigned NoticeEdit::CrLfLength() const {
    return CrLfCost(document()->toRawText());
}

unsigned NoticeEdit::CrLfCost(const QString& text) {
    return static_cast<unsigned>(CardText(text).size());
}

unsigned NoticeEdit::LimitCost(const QString& text) {
    return static_cast<unsigned>(notice_text::StoredSize(CardText(text)));
}

void NoticeEdit::SetLimit(unsigned limit) {
    limit_ = limit == 0 ? UINT_MAX : limit;
}

unsigned NoticeEdit::Room() const {
    const QTextCursor cursor = textCursor();
    const unsigned selected = LimitCost(cursor.selection().toRawText());
    const unsigned total = LimitCost(document()->toRawText());
    const unsigned used = total > selected ? total - selected : 0;
    return used >= limit_ ? 0 : limit_ - used;
}

QString NoticeEdit::Fit(const QString& text, unsigned room) {
    unsigned cost = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const QChar c = text[end];
        const qsizetype width = c.isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
        const unsigned need = LimitCost(text.mid(end, width));
        if (cost + need > room) {
            break;
        }
        cost += need;
        end += width;
    }
    return text.left(end);
}

void NoticeEdit::keyPressEvent(QKeyEvent* event) {
    unsigned cost = 0;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        cost = 2;
    } else if (!event->text().isEmpty() && event->text().at(0).isPrint() &&
               // Control alone makes a shortcut; with Alt (AltGr) it types a character.
               (!(event->modifiers() & Qt::ControlModifier) ||
                (event->modifiers() & Qt::AltModifier))) {
        cost = LimitCost(event->text());
    }
    if (cost > Room()) {
        QApplication::beep();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void NoticeEdit::insertFromMimeData(const QMimeData* source) {
    if (source == nullptr || !source->hasText()) {
        return;
    }
    const QString text = ToEditorBreaks(source->text());
    const QString fitting = Fit(text, Room());
    if (fitting.size() < text.size()) {
        QApplication::beep();
    }
    if (!fitting.isEmpty()) {
        textCursor().insertText(fitting);
        ensureCursorVisible();
    }
}

void NoticeEdit::inputMethodEvent(QInputMethodEvent* event) {
    const QString commit = event->commitString();
    if (!commit.isEmpty()) {
        const QString fitting = Fit(commit, Room());
        if (fitting.size() < commit.size()) {
            QApplication::beep();
            QInputMethodEvent trimmed(event->preeditString(), event->attributes());
            trimmed.setCommitString(fitting, event->replacementStart(), event->replacementLength());
            QPlainTextEdit::inputMethodEvent(&trimmed);
            return;
        }
    }
    QPlainTextEdit::inputMethodEvent(event);
}

}  // namespace app::qt
