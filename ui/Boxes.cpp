#include "ui/Boxes.h"
#include "ui/DateField.h"
#include "ui/MessageCatalogue.h"

#include <QCalendarWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

NumberBox::NumberBox(QWidget *parent) : QLineEdit(parent)
{
    setReadOnly(true);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setFocusPolicy(Qt::NoFocus);
}

void NumberBox::setValue(std::optional<Money> v)
{
    m_value = v;
    if (!v)
        setText(QString());
    else if (v->isZero())
        setText(QStringLiteral("0"));
    else
        setText(v->toGroupedString());
}

static std::optional<qlonglong> wholeNumber(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^-?[0-9]{1,9}$"));
    const QString t = normaliseNumberText(text);
    if (!digits.match(t).hasMatch())
        return std::nullopt;
    return t.toLongLong();
}

IntegerBox::IntegerBox(QWidget *parent) : QLineEdit(parent)
{
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    connect(this, &QLineEdit::editingFinished, this, &IntegerBox::checkTyped);
}

qlonglong IntegerBox::value() const { return wholeNumber(text()).value_or(m_last); }

void IntegerBox::setValue(qlonglong v)
{
    m_last = v;
    setText(QString::number(v));
}

void IntegerBox::checkTyped()
{
    if (const auto v = wholeNumber(text())) {
        setValue(*v);
        return;
    }
    const QString typed = text();
    setValue(m_last);
    if (!typed.trimmed().isEmpty())
        Msg(QStringLiteral("入力"), QStringLiteral("数字のみ"), m_subject);
}

DateBox::DateBox(QWidget *parent) : QDateEdit(parent)
{
    setDisplayFormat(QStringLiteral("yyyy年MM月dd日"));
    setCalendarPopup(true);
    setMinimumDate(QDate(1900, 1, 1));
    setSpecialValueText(QStringLiteral(" ")); // the minimum stands for "no date"
    setDate(QDate::currentDate());
}

void DateBox::watchCalendar()
{
    if (m_watching || !calendarPopup())
        return;
    m_watching = true;
    calendarWidget()->installEventFilter(this);
}

bool DateBox::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() == QEvent::Show && watched == calendarWidget()) {
        const QDate typed = DateField::parse(lineEdit()->text());
        const QDate at = typed.isValid() ? typed : hasDate() ? date() : QDate::currentDate();
        calendarWidget()->setCurrentPage(at.year(), at.month());
    }
    return QDateEdit::eventFilter(watched, e);
}

QValidator::State DateBox::validate(QString &input, int &pos) const
{
    if (!m_typing)
        return QDateEdit::validate(input, pos);
    // Nothing is taken before the box is left: "2024/2/3" may yet become "2024/2/30".
    static const QRegularExpression partial(QStringLiteral("^[0-9０-９/／\\-.年月日 　]*$"));
    return partial.match(input).hasMatch() ? QValidator::Intermediate : QValidator::Invalid;
}

QDateTime DateBox::dateTimeFromText(const QString &text) const
{
    if (const QDate d = DateField::parse(text); d.isValid())
        return QDateTime(d, QTime(0, 0));
    return QDateEdit::dateTimeFromText(text);
}

void DateBox::finishTyping()
{
    if (!m_typing)
        return;
    const QString text = lineEdit()->text().trimmed();
    const QDate d = DateField::parse(text);
    m_typing = false;
    setDate(d.isValid() ? d : m_before);
    if (!d.isValid() && !text.isEmpty())
        Msg(QStringLiteral("その他"), QStringLiteral("注意"),
            QStringLiteral("「%1」は日付として読めません。「2026/11/01」「20261101」「11/1」のように入力してください。").arg(text));
}

void DateBox::focusOutEvent(QFocusEvent *e)
{
    finishTyping();
    QDateEdit::focusOutEvent(e);
}

void DateBox::mousePressEvent(QMouseEvent *e)
{
    watchCalendar();
    QDateEdit::mousePressEvent(e);
}

void DateBox::keyPressEvent(QKeyEvent *e)
{
    watchCalendar();
    if (e->key() == Qt::Key_Delete && e->modifiers() == Qt::NoModifier && !m_typing) {
        clearDate();
        return;
    }
    const QString text = e->text();
    const bool dateChar = !text.isEmpty() && (text[0].isDigit() || QStringLiteral("/／-.年月日").contains(text[0]));
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && m_typing) {
        finishTyping();
        return;
    }
    if (dateChar && !(e->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier))) {
        // Typed as text: the box's own sections would swallow digits and jump at "/".
        if (!m_typing) {
            m_typing = true;
            m_before = date();
            lineEdit()->selectAll();
        }
        lineEdit()->insert(text);
        return;
    }
    if (m_typing && (e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Delete || e->key() == Qt::Key_Left ||
                     e->key() == Qt::Key_Right || e->key() == Qt::Key_Home || e->key() == Qt::Key_End)) {
        QAbstractSpinBox::keyPressEvent(e); // plain editing of the typed text
        return;
    }
    if (m_typing && e->key() == Qt::Key_Escape) {
        m_typing = false;
        setDate(m_before);
        return;
    }
    QDateEdit::keyPressEvent(e);
}

bool DateBox::setDateText(const QString &yyyymmdd)
{
    const QDate d = QDate::fromString(yyyymmdd, QStringLiteral("yyyyMMdd"));
    if (!d.isValid())
        return false;
    setDate(d);
    return true;
}

QString DateBox::dateText() const { return hasDate() ? date().toString(QStringLiteral("yyyyMMdd")) : QString(); }

QColor colourFromValue(qlonglong v)
{
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

qlonglong valueFromColour(const QColor &c)
{
    return c.red() + 256LL * c.green() + 65536LL * c.blue();
}

ColourSwatch::ColourSwatch(QWidget *parent) : QLabel(parent)
{
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);
    setCursor(Qt::PointingHandCursor);
    setColourValue(0);
}

void ColourSwatch::setColourValue(qlonglong value)
{
    m_value = value;
    QPalette p = palette();
    p.setColor(QPalette::Window, colourFromValue(value));
    setPalette(p);
}

void ColourSwatch::mousePressEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton)
        emit clicked();
    QLabel::mousePressEvent(e);
}

ClickLabel::ClickLabel(QWidget *parent) : QLabel(parent) { setCursor(Qt::PointingHandCursor); }

void ClickLabel::mousePressEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton)
        emit clicked();
    QLabel::mousePressEvent(e);
}
