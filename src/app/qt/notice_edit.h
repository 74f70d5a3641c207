#pragma once
// The notice editor with the Win32 multi-line edit's contract: the program hands
// text in and out with CR LF line breaks, lengths count a line break as 2, a
// text limit (in bytes of the code page) refuses the user's input (typing, pasting, dropping)
// beyond it but never the program's own text, and only the user's edits are reported.

#include <QPlainTextEdit>
#include <functional>

class QMimeData;

namespace app::qt {

class NoticeEdit : public QPlainTextEdit {
public:
    explicit NoticeEdit(QWidget* parent = nullptr);

    // Called after each change the user makes; never for SetProgramText.
    std::function<void()> onUserChange;

    void SetProgramText(const QString& crLfText);
    QString CrLfText() const;
    unsigned CrLfLength() const;

    // 0 lifts the limit.
    void SetLimit(unsigned limit);
    unsigned Limit() const { return limit_; }

    // UTF-16 units, a line break 2.
    static unsigned CrLfCost(const QString& text);
    // What text costs against the limit: what the card will hold of it.
    static unsigned LimitCost(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    // Units still free once the selection, which the input replaces, is gone.
    unsigned Room() const;
    // The longest head of `text` that fits into `room`.
    static QString Fit(const QString& text, unsigned room);

    unsigned limit_;
    bool programChange_ = false;
    QString shownText_;
};

}  // namespace app::qt
