#pragma once
// Small boxes of the window: money box, date box, colour swatch, clickable picture.

#include "values/Money.h"

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <optional>

// Read-only money box: a value or Null (shows nothing), shown as "##,###,###,###".
class NumberBox : public QLineEdit {
    Q_OBJECT
public:
    explicit NumberBox(QWidget *parent = nullptr);
    std::optional<Money> value() const { return m_value; }
    void setValue(std::optional<Money> v);
    void clearValue() { setValue(std::nullopt); }

private:
    std::optional<Money> m_value;
};

// Whole-number box (the colour value, "#########"). Full-width digits count; text that is
// no whole number is answered with 入力/数字のみ and the box goes back to its last value.
class IntegerBox : public QLineEdit {
    Q_OBJECT
public:
    explicit IntegerBox(QWidget *parent = nullptr);
    qlonglong value() const;
    void setValue(qlonglong v);
    // The subject of the message for text that is no number.
    void setSubject(const QString &subject) { m_subject = subject; }

private:
    void checkTyped();
    QString m_subject = QStringLiteral("数値");
    qlonglong m_last = 0;
};

class DateBox : public QDateEdit {
    Q_OBJECT
public:
    explicit DateBox(QWidget *parent = nullptr);
    // Date given as "yyyymmdd" text; text that is no date leaves the box as it was.
    bool setDateText(const QString &yyyymmdd);
    QString dateText() const; // "yyyymmdd", empty when the box holds no date
    // The box may hold no date (Delete empties it); it then shows nothing.
    bool hasDate() const { return date() != minimumDate(); }
    void clearDate() { setDate(minimumDate()); }

    // Besides its own format, the box takes a date typed as the list's date boxes take it
    // ("2026/12/01", "20261201", "12/1"); what is no date yet is allowed while typing.
    QValidator::State validate(QString &input, int &pos) const override;
    // Takes what was typed (or says why not) before the box is left, as leaving it would.
    void finishTyping();

private:
    // An empty box's calendar opens at the date typed, or today, not at the minimum date
    // that stands for "none".
    void watchCalendar();
    bool m_watching = false;
    bool m_typing = false; // a date is being typed in place of the one shown
    QDate m_before;        // what the box held when the typing began

protected:
    QDateTime dateTimeFromText(const QString &text) const override;
    void keyPressEvent(QKeyEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    // One Tab stop: Tab leaves the box instead of walking its year, month and day.
    bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
};

// Picture box showing a colour; clicking it asks for another.
class ColourSwatch : public QLabel {
    Q_OBJECT
public:
    explicit ColourSwatch(QWidget *parent = nullptr);
    // Colour value red + 256 * green + 65536 * blue.
    void setColourValue(qlonglong value);
    qlonglong colourValue() const { return m_value; }
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *e) override;

private:
    qlonglong m_value = 0;
};

class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(QWidget *parent = nullptr);
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *e) override;
};

QColor colourFromValue(qlonglong value);
qlonglong valueFromColour(const QColor &c);
