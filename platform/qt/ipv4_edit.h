#pragma once
// A four-field IPv4 address edit: four small line edits separated by dots, each taking 0..255.
// Typing three digits or a dot moves on to the next field; an empty field reads as 0.

#include <QFrame>
#include <array>
#include <cstdint>

class QLineEdit;

namespace platform {

class Ipv4Edit : public QFrame {
    Q_OBJECT
  public:
    explicit Ipv4Edit(QWidget* parent = nullptr);

    // First field first.
    std::array<uint8_t, 4> Octets() const;
    void SetOctets(const std::array<uint8_t, 4>& octets);
    // Accepts dotted-quad text ("192.168.0.199"); returns false and changes nothing otherwise.
    bool SetText(const QString& dotted);
    // "a.b.c.d" of Octets().
    QString Text() const;
    // True when all four fields are empty.
    bool IsBlank() const;
    void Clear();

    QLineEdit* Field(int index) const { return fields_[static_cast<std::size_t>(index)]; }

    // Names the four fields after the control ("<name>, field 1" ...).
    void SetAccessibleNames(const QString& name);

  signals:
    void AddressEdited();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void LayOut();
    std::array<QLineEdit*, 4> fields_{};
    std::array<QWidget*, 3> dots_{};
};

}  // namespace platform
