// CAutoRadioButton: a radio button that checks itself when clicked and unchecks the other radio
// buttons of its run, the radio buttons from one group start to the next among its siblings.
// Clicking a checked button leaves it checked, and a run may have no button checked at all (a
// value the run cannot show), which a plain exclusive button group would not allow.
#pragma once

#include <QRadioButton>

class CAutoRadioButton : public QRadioButton {
  Q_OBJECT

 public:
  CAutoRadioButton(const QString& caption, int run, QWidget* parent);

  int Run() const { return run; }

 protected:
  void nextCheckState() override;

 private:
  int run;
};
