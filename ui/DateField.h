#pragma once
// A date typed as people type dates ("2026/11/01", "20261101", "11/1" for this year, 
// "2026年11月1日", full-width digits too) or picked from a calendar that opens at the date shown
// or today. It may hold no date.

#include <QDate>
#include <QWidget>

class QLineEdit;
class QToolButton;
class QCalendarWidget;

class DateField : public QWidget {
    Q_OBJECT
public:
    explicit DateField(QWidget *parent = nullptr);
    QDate date() const { return m_date; }
    bool hasDate() const { return m_date.isValid(); }
    void setDate(const QDate &d);
    void clearDate() { setDate(QDate()); }
    QLineEdit *lineEdit() const { return m_edit; }
    QCalendarWidget *calendar() const { return m_calendar; }
    // Opens the calendar, at the date shown or today.
    void showCalendar();

    // The date text means; an invalid date when it is none. today supplies the year of "11/1".
    static QDate parse(const QString &text, const QDate &today = QDate::currentDate());

signals:
    void dateChanged(const QDate &date);

private:
    void typed();
    QLineEdit *m_edit;
    QToolButton *m_button;
    QCalendarWidget *m_calendar;
    QDate m_date;
};
