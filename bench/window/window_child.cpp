#include "window/window_child.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "bench_model.h"
#include "child_modes.h"
#include "child_report.h"
#include "frontend/qt/form1.h"
#include "frontend/qt/list_box.h"
#include "frontend/qt/status_label.h"
#include "headless_form.h"
#include "model/display_text.h"
#include "platform/platform.h"
#include "process_run.h"

namespace tidwen::bench {

// The Qt windows under test.
using namespace ::tidwen::qt;

namespace {

// Counts the paint events a widget receives: real paints, not requests.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
  std::int64_t count = 0;

  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return false;
  }
};

// Answers every modal message box as the benchmark's user: Yes to a
// question, OK to anything else, which can only be a failure report. Notes
// when Yes was pressed, so that the deletion is timed without the question.
class BoxAnswerer : public BoxTally {
 public:
  BoxAnswerer() {
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }

  double yesAt = 0;

 private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    // A new box may stand where the last one stood: mark the boxes answered.
    if (box == nullptr || box->property("answered").toBool()) return;
    box->setProperty("answered", true);
    if (QAbstractButton* yes = box->button(QMessageBox::Yes)) {
      ++questions;
      lastQuestion = box->text().toStdString();
      yesAt = NowSeconds();
      yes->click();
      return;
    }
    if (failures++ == 0) firstFailure = box->text().toStdString();
    if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
      ok->click();
    } else {
      box->reject();
    }
  }

  QTimer timer_;
};

// A QApplication on the offscreen platform, styled as the program styles it.
// Qt's notes about the environment (no runtime directory, what the offscreen
// platform cannot do) would only clutter the figures; errors still show.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) {
    std::fprintf(stderr, "tidwen-window-bench: %s\n", message.toLocal8Bit().constData());
  }
}

class OffscreenApplication {
 public:
  OffscreenApplication() {
    qInstallMessageHandler(QuietMessages);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
    QApplication::setStyle(QStringLiteral("Fusion"));
  }

 private:
  int argc_ = 1;
  char name_[20] = "tidwen-window-bench";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

// The main window over the real platform with c: mapped to a
// directory, shown, and its controls.
class BenchWindow {
 public:
  explicit BenchWindow(const std::string& root) : platform_(MakeDirectoryPlatform(root)) {
    double start = NowSeconds();
    form_ = std::make_unique<Form1>(*platform_);  // runs Form_Load
    loadSeconds_ = NowSeconds() - start;
    form_->show();
    while (form_->windowHandle() == nullptr || !form_->windowHandle()->isExposed()) {
      QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    Settle();
  }

  Form1& Form() { return *form_; }
  double LoadSeconds() const { return loadSeconds_; }
  ListBox& List(const char* name) { return *Find<ListBox>(name); }
  StatusLabel& Label1() { return *Find<StatusLabel>("Label1"); }
  void Click(const char* button) { Find<QPushButton>(button)->click(); }

  // Lets every posted change and paint go through.
  static void Settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
  }

 private:
  template <class T>
  T* Find(const char* name) {
    T* child = form_->findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
      std::fprintf(stderr, "tidwen-window-bench: the window has no %s\n", name);
      std::exit(1);
    }
    return child;
  }

  std::unique_ptr<Platform> platform_;
  std::unique_ptr<Form1> form_;
  double loadSeconds_ = 0;
};

// What every window child runs in, made in this order: the application,
// the main window shown on root, and the answerer of its message boxes.
struct WindowSession {
  explicit WindowSession(const std::string& root) : window(root) {}

  OffscreenApplication app;
  BenchWindow window;
  BoxAnswerer boxes;
  ListBox& list1 = window.List("List1");
  StatusLabel& label1 = window.Label1();
};

std::int64_t TextBytes(const CheckList& items) {
  std::int64_t bytes = 0;
  for (std::int64_t i = 0; i < items.Count(); ++i) {
    bytes += static_cast<std::int64_t>(items.Text(i).size());
  }
  return bytes;
}

bool AllSelected(const ListControl& list) {
  for (std::int64_t i = 0; i < list.ListCount(); ++i) {
    if (!list.Selected(i)) return false;
  }
  return true;
}

// True when Label1 shows, on screen, the caption it holds.
bool CaptionShown(StatusLabel& label) {
  return label.text() == QString::fromStdString(DisplayText(label.Caption()));
}

// Milliseconds of one immediate repaint of the list's visible page, after
// moving its scroll bar to value (the move included).
double PaintAt(ListBox& list, int value) {
  double start = NowSeconds();
  list.verticalScrollBar()->setValue(value);
  list.viewport()->repaint();
  return (NowSeconds() - start) * 1000.0;
}

// Fills List1 up to `target` entries through the list control, as repeated
// scans would, by adding its own entries again; reports the cost of the
// entries and the times to paint and scroll the whole list.
void MeasureLongList(BenchWindow& window, std::int64_t target) {
  ListBox& list1 = window.List("List1");
  const std::int64_t scanned = list1.ListCount();
  if (target <= scanned) return;
  BenchWindow::Settle();
  const long rssBefore = ReadStatusKb("VmRSS");
  const std::size_t overheadBefore = list1.Model().Items().OverheadBytes();
  std::int64_t addedText = 0;
  double start = NowSeconds();
  std::string text;
  for (std::int64_t i = scanned; i < target; ++i) {
    FileStamp stamp;
    if (scanned > 0) {
      text.assign(list1.List(i % scanned));  // a copy: the list may move its texts
      stamp = list1.Stamp(i % scanned);
    } else {
      text = "c:\\long\\list\\entry" + std::to_string(i) + ".tmp";
    }
    addedText += static_cast<std::int64_t>(text.size());
    list1.AddItem(text, stamp);
  }
  const double fillSeconds = NowSeconds() - start;
  start = NowSeconds();
  BenchWindow::Settle();
  list1.viewport()->repaint();
  const double showSeconds = NowSeconds() - start;
  const long rssAfter = ReadStatusKb("VmRSS");
  const std::int64_t added = target - scanned;

  WriteValue("long_entries", target);
  WriteValue("long_rows_shown", list1.model()->rowCount());
  WriteValue("long_fill_seconds", fillSeconds);
  WriteValue("long_show_seconds", showSeconds);
  WriteValue("long_overhead_bytes", list1.Model().Items().OverheadBytes());
  WriteValue("long_added_overhead_bytes",
             static_cast<std::int64_t>(list1.Model().Items().OverheadBytes()) -
                 static_cast<std::int64_t>(overheadBefore));
  WriteValue("long_added_entries", added);
  WriteValue("long_added_text_bytes", addedText);
  WriteValue("long_rss_growth_kb", rssAfter - rssBefore);

  QScrollBar& bar = *list1.verticalScrollBar();
  PaintAt(list1, 0);  // the first paint after the fill may lay out; untimed
  const int maximum = bar.maximum();
  WriteValue("long_scroll_maximum", maximum);
  WriteValue("paint_first_ms", PaintAt(list1, 0));
  WriteValue("paint_middle_ms", PaintAt(list1, maximum / 2));
  WriteValue("paint_last_ms", PaintAt(list1, maximum));
  PaintAt(list1, 0);
  start = NowSeconds();
  list1.scrollToBottom();
  list1.viewport()->repaint();
  WriteValue("jump_to_bottom_ms", (NowSeconds() - start) * 1000.0);

  // Top to bottom in a hundred steps, each a scroll and a paint of the page
  // it lands on.
  constexpr int kSteps = 100;
  double worst = 0, total = 0;
  PaintAt(list1, 0);
  for (int step = 0; step <= kSteps; ++step) {
    const int value = static_cast<int>(static_cast<std::int64_t>(maximum) * step / kSteps);
    const double ms = PaintAt(list1, value);
    worst = std::max(worst, ms);
    total += ms;
  }
  WriteValue("sweep_pages", kSteps + 1);
  WriteValue("sweep_total_ms", total);
  WriteValue("sweep_worst_ms", worst);
  start = NowSeconds();
  QPixmap picture = window.Form().grab();
  WriteValue("grab_window_ms", (NowSeconds() - start) * 1000.0);

  start = NowSeconds();
  window.Click("Command5");
  BenchWindow::Settle();
  WriteValue("long_select_all_seconds", NowSeconds() - start);
  WriteValue("long_select_all_ok", AllSelected(list1) ? 1 : 0);
}

}  // namespace

int RunWindowScanChild(const std::string& dir, std::int64_t listEntries, bool records) {
  const std::string root = ResolveDirectory(dir);
  if (root.empty()) return 2;
  WindowSession session(root);
  BenchWindow& window = session.window;
  ListBox& list1 = session.list1;
  ListBox& list3 = window.List("List3");
  StatusLabel& label1 = session.label1;
  PaintCounter labelPaints(label1);
  PaintCounter listPaints(*list1.viewport());
  PaintCounter barPaints(*list1.verticalScrollBar());
  RepaintPacer& pacer = window.Form().Pacer();
  const long roundsBefore = pacer.Rounds();
  const auto roundsTimeBefore = pacer.RoundsTime();

  const long rssBefore = ReadStatusKb("VmRSS");
  ResetPeakRss();
  const double cpuStart = CpuSeconds();
  const double start = NowSeconds();
  window.Click("Command1");
  const double seconds = NowSeconds() - start;
  const double cpuSeconds = CpuSeconds() - cpuStart;
  const long peak = ReadStatusKb("VmHWM");
  const long rssAfter = ReadStatusKb("VmRSS");
  const std::int64_t labelDuring = labelPaints.count;
  const std::int64_t listDuring = listPaints.count;
  const std::int64_t barDuring = barPaints.count;
  const long rounds = pacer.Rounds() - roundsBefore;
  const double roundsSeconds =
      std::chrono::duration<double>(pacer.RoundsTime() - roundsTimeBefore).count();
  BenchWindow::Settle();

  const std::int64_t entries = list1.ListCount();
  const CheckList& results = list1.Model().Items();
  const CheckList& queue = list3.Model().Items();
  WriteValue("load_seconds", window.LoadSeconds());
  WriteValue("seconds", seconds);
  WriteValue("cpu_seconds", cpuSeconds);
  WriteValue("entries", entries);
  WriteValue("queued_dirs", list3.ListCount());
  WriteValue("label_paints", labelDuring);
  WriteValue("list_paints", listDuring);
  WriteValue("list_bar_paints", barDuring);
  WriteValue("pacer_rounds", rounds);
  WriteValue("pacer_seconds", roundsSeconds);
  WriteValue("rss_before_kb", rssBefore);
  WriteValue("hwm_kb", peak);
  WriteValue("rss_after_kb", rssAfter);
  WriteValue("list1_overhead_bytes", results.OverheadBytes());
  WriteValue("list1_text_bytes", TextBytes(results));
  WriteValue("list3_overhead_bytes", queue.OverheadBytes());
  WriteValue("list3_text_bytes", TextBytes(queue));
  WriteValue("caption_ok", label1.Caption() == ScanCaption(entries) ? 1 : 0);
  WriteValue("caption_shown", CaptionShown(label1) ? 1 : 0);
  WriteValue("rows_shown", list1.model()->rowCount());

  double selectStart = NowSeconds();
  window.Click("Command5");
  BenchWindow::Settle();
  WriteValue("select_all_seconds", NowSeconds() - selectStart);
  WriteValue("select_all_ok", AllSelected(list1) ? 1 : 0);

  MeasureLongList(window, listEntries);
  const BoxAnswerer& boxes = session.boxes;
  WriteValue("boxes", boxes.questions + boxes.failures);
  WriteValue("first_box", Printable(boxes.failures ? boxes.firstFailure : boxes.lastQuestion));
  WriteValue("last_entry_bytes", entries > 0 ? list1.List(entries - 1).size() : 0);
  // The scan's entries, not the long list's.
  return EndReportWithEntries(list1, records ? entries : 0);
}

int RunWindowDeleteChild(const std::string& dir) {
  const std::string root = ResolveDirectory(dir);
  if (root.empty()) return 2;
  WindowSession session(root);
  BenchWindow& window = session.window;
  const BoxAnswerer& boxes = session.boxes;
  ListBox& list1 = session.list1;
  StatusLabel& label1 = session.label1;

  double start = NowSeconds();
  window.Click("Command1");
  const double scanSeconds = NowSeconds() - start;
  BenchWindow::Settle();
  const std::int64_t before = list1.ListCount();
  const std::int64_t scanBoxes = boxes.questions + boxes.failures;

  start = NowSeconds();
  window.Click("Command5");
  const double selectHandlerSeconds = NowSeconds() - start;
  BenchWindow::Settle();
  const double selectSeconds = NowSeconds() - start;
  const bool allSelected = AllSelected(list1);

  start = NowSeconds();
  window.Click("Command2");
  const double end = NowSeconds();
  BenchWindow::Settle();
  const std::int64_t after = list1.ListCount();

  WriteValue("scan_seconds", scanSeconds);
  WriteValue("scan_boxes", scanBoxes);
  WriteValue("select_all_handler_seconds", selectHandlerSeconds);
  WriteValue("select_all_seconds", selectSeconds);
  WriteValue("select_all_ok", allSelected ? 1 : 0);
  WriteValue("seconds", boxes.yesAt > 0 ? end - boxes.yesAt : 0.0);
  WriteValue("with_question_seconds", end - start);
  WriteDeletionValues(before, after, boxes, label1.Caption());
  WriteValue("caption_shown", CaptionShown(label1) ? 1 : 0);
  WriteValue("rows_shown", list1.model()->rowCount());
  return EndReport();
}

}  // namespace tidwen::bench
