#include "desktop/windows/SetupWindowController.h"

#include <gtk/gtk.h>

#include <utility>

#include "core/readers/CompositeSource.h"
#include "core/settings/UserDefaults.h"
#include "core/text/TextCase.h"
#include "desktop/readers/codex/CodexExecutable.h"
#include "desktop/text/DesktopText.h"
#include "desktop/windows/ButtonActions.h"
#include "desktop/windows/GtkStart.h"
#include "desktop/windows/WidgetPicture.h"
#include "desktop/windows/WindowStyle.h"
#include "platform/glib/MainLoopWait.h"
#include "platform/power/SleepSchedule.h"
#include "platform/session/TerminalLauncher.h"

namespace meterwright {

namespace {

namespace Layout = SetupWindowLayout;

constexpr double refreshSeconds = 2.0;
// The wake the step installs: early enough that the morning's first look finds a fresh reading.
constexpr const char* dailyWake = "08:00:00";
// How long a preview waits for the checklist and the layout.
constexpr double previewPatience = 20;

std::string labelText(GtkWidget* label) {
  return label ? gtk_label_get_text(GTK_LABEL(label)) : "";
}

// A provider's report from a reading already taken.
ProviderReport reportFrom(const CompositeSource& source, const std::optional<Snapshot>& reading,
                          const std::string& id) {
  std::string key = TextCase::lowercased(id);
  std::shared_ptr<PolledSource> polled = source.nativeSource(key);
  return SetupChecklist::report(id, reading, source.failures(),
                                polled ? polled->manualRefreshAvailableIn() : 0);
}

// Everything the steps need that blocks: the providers' reading, the programs on disk, the login
// entry and the wake timer.
SetupChecklist::Facts gatherBlocking(const std::shared_ptr<CompositeSource>& source,
                                     const FileLocations& locations,
                                     const EnvironmentBlock& environment,
                                     const std::optional<LoginItem>& loginItem,
                                     const std::shared_ptr<SleepSchedule>& schedule) {
  SetupChecklist::Facts facts;
  facts.claudeExecutable = TokenSetupAssistant::claudeExecutable(locations, environment);
  facts.codexExecutable = CodexExecutable::find(locations, environment);
  if (source) {
    std::optional<Snapshot> reading = source->read();
    facts.claude = reportFrom(*source, reading, "claude");
    facts.codex = reportFrom(*source, reading, "codex");
  }
  facts.loginItemEnabled = loginItem && loginItem->status() == LoginItem::Status::enabled;
  if (schedule) facts.scheduledWake = schedule->scheduledWake();
  return facts;
}

}  // namespace

SetupWindowController::SetupWindowController(Options options) : options_(std::move(options)) {
  if (!options_.runInTerminal) {
    TerminalLauncher::Options launch{options_.environment, options_.locations.temporary};
    options_.runInTerminal = [launch](const std::string& command, const std::string& title) {
      return TerminalLauncher::run(command, title, launch);
    };
  }
}

SetupWindowController::~SetupWindowController() {
  stopTimer();
  if (window_) gtk_window_destroy(GTK_WINDOW(window_));
}

void SetupWindowController::ensureWindow() {
  if (window_) return;
  // Until the first gathering is back, the programs on disk and the login entry (a few file
  // lookups) keep the first rows from saying that nothing is installed.
  facts_.claudeExecutable =
      TokenSetupAssistant::claudeExecutable(options_.locations, options_.environment);
  facts_.codexExecutable = CodexExecutable::find(options_.locations, options_.environment);
  facts_.loginItemEnabled =
      options_.loginItem && options_.loginItem->status() == LoginItem::Status::enabled;
  style_.emplace(options_.dark);
  window_ = Layout::window();
  g_signal_connect(window_, "close-request", G_CALLBACK(+[](GtkWindow*, gpointer data) -> gboolean {
                     static_cast<SetupWindowController*>(data)->finished();
                     return FALSE;  // hidden, not destroyed: hide-on-close
                   }),
                   this);
  widgets_ = Layout::content();
  ButtonActions::onClicked(widgets_.doneButton, [this] { close(); });
  gtk_window_set_child(GTK_WINDOW(window_), widgets_.content);
  // Return is Done.
  gtk_window_set_default_widget(GTK_WINDOW(window_), widgets_.doneButton);
  gtk_window_set_focus(GTK_WINDOW(window_), widgets_.doneButton);
}

bool SetupWindowController::show() {
  if (!GtkStart::ensure()) return false;
  ensureWindow();
  rebuild();
  gtk_window_present(GTK_WINDOW(window_));
  refresh();
  stopTimer();
  scheduleRefresh();
  return true;
}

void SetupWindowController::scheduleRefresh() {
  std::weak_ptr<Alive> alive = alive_;
  refreshTimer_ = options_.scheduler->after(refreshSeconds, [this, alive] {
    if (!alive.lock()) return;
    refreshTimer_.reset();
    refresh();
    scheduleRefresh();
  });
}

void SetupWindowController::stopTimer() {
  if (refreshTimer_) options_.scheduler->cancel(*refreshTimer_);
  refreshTimer_.reset();
}

void SetupWindowController::refresh() {
  if (options_.refreshNotifications) {
    std::weak_ptr<Alive> alive = alive_;
    options_.refreshNotifications([this, alive] {
      if (alive.lock()) rebuild();
    });
  }
  gather();
}

void SetupWindowController::gather() {
  // A slow reading must not pile up behind the timer: the next starts once this one is back.
  if (gathering_ || !options_.background) return;
  gathering_ = true;
  std::shared_ptr<CompositeSource> source = options_.source ? options_.source() : nullptr;
  std::weak_ptr<Alive> alive = alive_;
  options_.background([this, alive, source, locations = options_.locations,
                       environment = options_.environment, loginItem = options_.loginItem,
                       schedule = options_.sleepSchedule, toMain = options_.toMainThread] {
    SetupChecklist::Facts facts =
        gatherBlocking(source, locations, environment, loginItem, schedule);
    toMain([this, alive, facts = std::move(facts)]() mutable {
      if (!alive.lock()) return;
      gathering_ = false;
      facts_ = std::move(facts);
      rebuild();
    });
  });
}

std::vector<Step> SetupWindowController::steps() {
  return SetupChecklist::steps(currentFacts(), actions());
}

SetupChecklist::Facts SetupWindowController::currentFacts() const {
  SetupChecklist::Facts facts = facts_;
  facts.notifications = options_.notificationAuthorization ? options_.notificationAuthorization()
                                                           : Notifier::Authorization::unknown;
  facts.warnBelowRemainingPercent = options_.config ? options_.config().warnBelowRemainingPercent
                                                    : Config::fallback().warnBelowRemainingPercent;
  facts.wakeError = wakeError_;
  return facts;
}

SetupChecklist::Actions SetupWindowController::actions() {
  SetupChecklist::Actions actions;
  actions.runInTerminal = [run = options_.runInTerminal](const std::string& command,
                                                         const std::string& title) {
    run(command, title);
  };
  actions.openNotificationSettings = options_.openNotificationSettings;
  std::weak_ptr<Alive> alive = alive_;
  actions.askForNotifications = [this, alive] {
    if (alive.lock()) refresh();
  };
  actions.turnOnLoginItem = [this, alive] {
    if (!alive.lock() || !options_.loginItem) return;
    // A small file in the autostart folder: no reason to leave the main thread.
    options_.loginItem->set(true);
    gather();
  };
  actions.setWakeSchedule = [this, alive](bool on) {
    if (alive.lock()) setWakeSchedule(on);
  };
  return actions;
}

ProviderReport SetupWindowController::report(const std::string& id) const {
  std::shared_ptr<CompositeSource> source = options_.source ? options_.source() : nullptr;
  if (!source) return {};
  return reportFrom(*source, source->read(), id);
}

std::optional<std::string> SetupWindowController::retryNote(const ProviderReport& report) {
  return SetupChecklist::retryNote(report);
}

void SetupWindowController::setWakeSchedule(bool on) {
  std::shared_ptr<SleepSchedule> schedule = options_.sleepSchedule;
  // One password prompt at a time: a second click while one is up asks nothing.
  if (!schedule || !options_.background || changingWake_) return;
  changingWake_ = true;
  std::weak_ptr<Alive> alive = alive_;
  // The password prompt waits for a person: never on the main thread.
  options_.background([this, alive, schedule, on, toMain = options_.toMainThread] {
    std::optional<SleepSchedule::Failure> failure =
        on ? schedule->install(dailyWake) : schedule->remove();
    toMain([this, alive, failure] {
      if (!alive.lock()) return;
      changingWake_ = false;
      // A dismissed password prompt is the person's own choice, not a fault to show.
      if (!failure || failure->kind == SleepSchedule::Failure::Kind::cancelled) {
        wakeError_.reset();
      } else {
        wakeError_ = desktop::L("setup.wake.failed", "The system refused: %@", failure->message);
      }
      rebuild();
      gather();
    });
  });
}

void SetupWindowController::rebuild() {
  if (!window_) return;
  SetupChecklist::Facts facts = currentFacts();
  // Rows rebuilt every two seconds for nothing would take the keyboard focus off their buttons.
  if (shown_ == facts) return;
  shown_ = facts;
  GtkWidget* box = widgets_.stepsBox;
  while (GtkWidget* child = gtk_widget_get_first_child(box)) gtk_box_remove(GTK_BOX(box), child);
  rows_.clear();
  for (Step& step : SetupChecklist::steps(facts, actions())) {
    SetupStepRowWidgets row = Layout::stepRow(step);
    if (row.button && step.action->second)
      ButtonActions::onClicked(row.button, std::move(step.action->second));
    gtk_box_append(GTK_BOX(box), row.row);
    rows_.push_back(row);
  }
}

void SetupWindowController::finished() {
  stopTimer();
  tokenSetup_.cancel();
  UserDefaults(options_.locations.userDefaultsFile()).set("setupCompleted.v1", true);
  if (onFinished) onFinished();
}

void SetupWindowController::close() {
  if (window_ && gtk_widget_get_visible(window_)) gtk_window_close(GTK_WINDOW(window_));
}

void SetupWindowController::setDark(bool dark) {
  options_.dark = dark;
  if (style_) style_->setDark(dark);
}

std::optional<std::string> SetupWindowController::previewImage(double scale) {
  bool wasVisible = isVisible();
  if (!show()) return std::nullopt;
  MainLoopWait::until([this] { return !gathering_ && isLaidOut(); }, previewPatience);
  std::optional<std::string> png = isLaidOut() ? WidgetPicture::png(window_, scale) : std::nullopt;
  if (!wasVisible) {
    // Put away as it was found: not closed by the user, so setup is not marked completed.
    stopTimer();
    gtk_widget_set_visible(window_, FALSE);
  }
  return png;
}

// What tests and screenshots read.

std::vector<SetupWindowController::ShownStep> SetupWindowController::shownSteps() const {
  std::vector<ShownStep> shown;
  for (const SetupStepRowWidgets& row : rows_) {
    ShownStep step{labelText(row.titleLabel), labelText(row.detailLabel),
                   labelText(row.mark) == "\u2713", std::nullopt};
    if (row.button) step.button = gtk_button_get_label(GTK_BUTTON(row.button));
    shown.push_back(std::move(step));
  }
  return shown;
}

void SetupWindowController::clickStep(std::size_t index) {
  if (index < rows_.size()) ButtonActions::click(rows_[index].button);
}

void SetupWindowController::clickDone() {
  ButtonActions::click(widgets_.doneButton);
}

bool SetupWindowController::isVisible() const {
  return window_ && gtk_widget_get_visible(window_);
}

bool SetupWindowController::isLaidOut() const {
  return isVisible() && gtk_widget_get_mapped(window_) && !rows_.empty() &&
         gtk_widget_get_width(rows_.back().row) > 0;
}

std::vector<std::string> SetupWindowController::clippedTexts() const {
  std::vector<std::string> clipped;
  if (!isLaidOut()) return clipped;
  // Every label in the window, depth first.
  std::function<void(GtkWidget*)> visit = [&](GtkWidget* widget) {
    if (GTK_IS_LABEL(widget) && gtk_widget_get_visible(widget)) {
      // Measurements count the margins; the allocated size does not.
      int width = gtk_widget_get_width(widget) + gtk_widget_get_margin_start(widget) +
                  gtk_widget_get_margin_end(widget);
      int height = gtk_widget_get_height(widget) + gtk_widget_get_margin_top(widget) +
                   gtk_widget_get_margin_bottom(widget);
      int minimum = 0, minimumWidth = 0;
      gtk_widget_measure(widget, GTK_ORIENTATION_VERTICAL, width, &minimum, nullptr, nullptr,
                         nullptr);
      gtk_widget_measure(widget, GTK_ORIENTATION_HORIZONTAL, -1, &minimumWidth, nullptr, nullptr,
                         nullptr);
      graphene_rect_t bounds;
      bool inside = gtk_widget_compute_bounds(widget, window_, &bounds) && bounds.origin.x >= 0 &&
                    bounds.origin.y >= 0 &&
                    bounds.origin.x + bounds.size.width <= gtk_widget_get_width(window_) &&
                    bounds.origin.y + bounds.size.height <= gtk_widget_get_height(window_);
      if (height < minimum || width < minimumWidth || !inside) clipped.push_back(labelText(widget));
    }
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child;
         child = gtk_widget_get_next_sibling(child))
      visit(child);
  };
  visit(window_);
  return clipped;
}

std::optional<std::pair<int, int>> SetupWindowController::size() const {
  if (!isLaidOut()) return std::nullopt;
  return std::pair{gtk_widget_get_width(window_), gtk_widget_get_height(window_)};
}

}  // namespace meterwright
