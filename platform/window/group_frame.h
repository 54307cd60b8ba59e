// CGroupFrame: a group box as the panels' layouts mean it, a frame with its caption set into the
// top edge and nothing else. The controls shown inside it are its siblings, placed by their own
// rectangles, so it takes no part in layout, focus or mouse handling.
#pragma once

#include <QString>
#include <QWidget>

class CGroupFrame : public QWidget {
  Q_OBJECT

 public:
  CGroupFrame(const QString& caption, QWidget* parent);

  QString Caption() const { return caption; }
  void SetCaption(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString caption;
};
