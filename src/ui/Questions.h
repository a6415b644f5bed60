#pragma once
// Every Yes/No question the window asks goes through this one interface, so that tests can
// answer them. GUI thread only.

#include <QString>
#include <cstdint>

class QWidget;

namespace taktwerk::ui {

enum class Answer : std::uint8_t { Yes, No, Cancel };

class Questions {
public:
    virtual ~Questions() = default;
    // True for Yes. The text is the program's own, shown word for word.
    virtual bool askYesNo(QWidget* parent, const QString& text) = 0;
    // Yes, No or Cancel; closing the box is Cancel, the answer that loses nothing.
    virtual Answer askYesNoCancel(QWidget* parent, const QString& text) = 0;
    // A failure the user must know about (a rhythm not saved, a file not deleted), with OK.
    virtual void tell(QWidget* parent, const QString& text) = 0;
};

// The real thing: a modal message box with Yes and No, the question icon and the program's
// title "Quorrel Taktwerk".
class MessageBoxQuestions final : public Questions {
public:
    bool askYesNo(QWidget* parent, const QString& text) override;
    Answer askYesNoCancel(QWidget* parent, const QString& text) override;
    void tell(QWidget* parent, const QString& text) override;
};

}  // namespace taktwerk::ui
