#include "ui/DateField.h"
#include "ui/MessageCatalogue.h"

#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRegularExpression>
#include <QToolButton>

DateField::DateField(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_edit = new QLineEdit(this);
    m_edit->setPlaceholderText(QStringLiteral("yyyy/mm/dd"));
    m_edit->setMaximumWidth(110);
    m_edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    m_button = new QToolButton(this);
    m_button->setText(QStringLiteral("▼"));
    m_button->setToolTip(QStringLiteral("カレンダーから選ぶ"));
    m_button->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_edit);
    layout->addWidget(m_button);
    setFocusProxy(m_edit);
    m_calendar = new QCalendarWidget(this);
    m_calendar->setWindowFlags(Qt::Popup);
    m_calendar->setGridVisible(true);
    m_calendar->hide();
    connect(m_edit, &QLineEdit::editingFinished, this, &DateField::typed);
    connect(m_button, &QToolButton::clicked, this, &DateField::showCalendar);
    connect(m_calendar, &QCalendarWidget::clicked, this, [this](const QDate &d) {
        m_calendar->hide();
        setDate(d);
    });
    connect(m_calendar, &QCalendarWidget::activated, this, [this](const QDate &d) {
        m_calendar->hide();
        setDate(d);
    });
}

void DateField::setDate(const QDate &d)
{
    m_edit->setText(d.isValid() ? d.toString(QStringLiteral("yyyy/MM/dd")) : QString());
    if (d == m_date)
        return;
    m_date = d;
    emit dateChanged(d);
}

void DateField::showCalendar()
{
    // At the month typed, even before the box was left.
    const QDate typedDate = parse(m_edit->text());
    const QDate at = typedDate.isValid() ? typedDate : m_date.isValid() ? m_date : QDate::currentDate();
    m_calendar->setSelectedDate(at);
    m_calendar->setCurrentPage(at.year(), at.month());
    m_calendar->move(mapToGlobal(QPoint(0, height())));
    m_calendar->show();
    m_calendar->setFocus();
}

void DateField::typed()
{
    const QString text = m_edit->text().trimmed();
    if (text.isEmpty()) {
        setDate(QDate());
        return;
    }
    const QDate d = parse(text);
    if (d.isValid()) {
        setDate(d);
        return;
    }
    setDate(m_date); // back to what it held
    Msg(QStringLiteral("その他"), QStringLiteral("注意"),
        QStringLiteral("「%1」は日付として読めません。「2026/11/01」「20261101」「11/1」のように入力してください。").arg(text));
}

QDate DateField::parse(const QString &text, const QDate &today)
{
    QString t = text.normalized(QString::NormalizationForm_KC).trimmed();
    t.remove(' ');
    static const QRegularExpression eight(QStringLiteral("^(\\d{4})(\\d{2})(\\d{2})$"));
    static const QRegularExpression full(QStringLiteral("^(\\d{4})[/\\-.年](\\d{1,2})[/\\-.月](\\d{1,2})日?$"));
    static const QRegularExpression monthDay(QStringLiteral("^(\\d{1,2})[/\\-.月](\\d{1,2})日?$"));
    QRegularExpressionMatch m = eight.match(t);
    if (!m.hasMatch())
        m = full.match(t);
    if (m.hasMatch())
        return QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    m = monthDay.match(t);
    if (m.hasMatch())
        return QDate(today.year(), m.captured(1).toInt(), m.captured(2).toInt());
    return {};
}
