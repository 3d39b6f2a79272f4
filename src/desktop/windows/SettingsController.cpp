#include "desktop/windows/SettingsController.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <utility>

#include "core/config/ConfigStore.h"
#include "core/display/ColorToken.h"
#include "core/providers/PollingPolicy.h"
#include "core/providers/ProviderDefaults.h"
#include "core/settings/UserDefaults.h"
#include "core/text/Localization.h"
#include "desktop/render/IconLoader.h"
#include "desktop/render/PreviewImages.h"
#include "desktop/text/DesktopText.h"
#include "desktop/windows/GtkStart.h"
#include "desktop/windows/WidgetPicture.h"
#include "desktop/windows/WindowStyle.h"

namespace meterwright {

namespace {

namespace Choices = SettingsChoices;

// How long a burst of changes may go on before it is saved.
constexpr double saveDelay = 0.3;
// The file manager has this long to answer before the folder is opened instead.
constexpr int revealTimeoutMs = 3000;
// The icon preview's point size (the loader draws applications 1.18 × as large).
constexpr double iconPoints = 15;
// Preview images are drawn at this many pixels a point.
constexpr double previewScale = 2;

using Action = std::function<void()>;

void deleteAction(gpointer data, GClosure*) {
  delete static_cast<Action*>(data);
}

// `action` runs on a signal whose handler takes only the instance; owned by the widget, so it
// goes when the content is rebuilt.
void on(GtkWidget* widget, const char* signal, Action action) {
  g_signal_connect_data(widget, signal, G_CALLBACK(+[](GtkWidget*, gpointer data) {
                          (*static_cast<Action*>(data))();
                        }),
                        new Action(std::move(action)), deleteAction, GConnectFlags(0));
}

// The same for a property change.
void onNotify(GtkWidget* widget, const char* property, Action action) {
  std::string signal = std::string("notify::") + property;
  g_signal_connect_data(
      widget, signal.c_str(),
      G_CALLBACK(+[](GObject*, GParamSpec*, gpointer data) { (*static_cast<Action*>(data))(); }),
      new Action(std::move(action)), deleteAction, GConnectFlags(0));
}

bool isActive(GtkWidget* check) {
  return gtk_check_button_get_active(GTK_CHECK_BUTTON(check));
}

std::string entryText(GtkWidget* entry) {
  return gtk_editable_get_text(GTK_EDITABLE(entry));
}

// A picture of `image` for a GtkPicture; null when it cannot be encoded.
GdkTexture* texture(const Image& image) {
  std::optional<std::string> png = image.rasterise(previewScale).png();
  if (!png) return nullptr;
  GBytes* bytes = g_bytes_new(png->data(), png->size());
  GdkTexture* texture = gdk_texture_new_from_bytes(bytes, nullptr);
  g_bytes_unref(bytes);
  return texture;
}

// A segmented control's active segment, and what choosing one does.
void connectSegments(const std::vector<GtkWidget*>& buttons, std::size_t active,
                     std::function<void(std::size_t)> chosen) {
  if (active < buttons.size())
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(buttons[active]), TRUE);
  for (std::size_t index = 0; index < buttons.size(); ++index) {
    GtkWidget* button = buttons[index];
    // Both the segment left and the one chosen report a toggle; only the chosen one counts.
    on(button, "toggled", [button, index, chosen] {
      if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button))) chosen(index);
    });
  }
}

void connectPopUp(GtkWidget* popUp, std::size_t selected, std::function<void(std::size_t)> chosen) {
  gtk_drop_down_set_selected(GTK_DROP_DOWN(popUp), guint(selected));
  onNotify(popUp, "selected", [popUp, chosen] {
    guint index = gtk_drop_down_get_selected(GTK_DROP_DOWN(popUp));
    if (index != GTK_INVALID_LIST_POSITION) chosen(index);
  });
}

void connectCheck(GtkWidget* check, bool active, std::function<void(bool)> changed) {
  gtk_check_button_set_active(GTK_CHECK_BUTTON(check), active);
  on(check, "toggled", [check, changed] { changed(isActive(check)); });
}

void connectEntry(GtkWidget* entry, const std::string& text,
                  std::function<void(std::string)> changed) {
  gtk_editable_set_text(GTK_EDITABLE(entry), text.c_str());
  on(entry, "changed", [entry, changed] { changed(entryText(entry)); });
}

// What "Reveal config file" asks of the file manager, and the folder opened when none answers.
struct RevealRequest {
  std::string fileUri;
  std::string folderUri;
  // A connection of its own to the given address, rather than the shared session bus.
  bool ownBus = false;
};

void openFolder(const RevealRequest* request) {
  g_app_info_launch_default_for_uri_async(request->folderUri.c_str(), nullptr, nullptr, nullptr,
                                          nullptr);
}

}  // namespace

SettingsController::SettingsController(Options options) : options_(std::move(options)) {}

SettingsController::~SettingsController() {
  // A change made just before quitting is still written; the application is going, so it is
  // not handed on.
  if (pendingSave_) {
    options_.scheduler->cancel(*pendingSave_);
    ConfigStore::save(config_, options_.locations);
  }
  if (restartNotice_) gtk_window_destroy(GTK_WINDOW(restartNotice_->window));
  if (window_) gtk_window_destroy(GTK_WINDOW(window_));
}

bool SettingsController::show(const Config& config, const std::optional<Snapshot>& snapshot) {
  if (!GtkStart::ensure()) return false;
  config_ = config;
  snapshot_ = snapshot;
  if (pendingSave_) {
    options_.scheduler->cancel(*pendingSave_);
    pendingSave_.reset();
  }
  if (!window_) {
    style_.emplace(options_.dark);
    window_ = SettingsWindowLayout::window();
  }
  rebuild();
  gtk_window_present(GTK_WINDOW(window_));
  return true;
}

void SettingsController::setDark(bool dark) {
  options_.dark = dark;
  if (!style_) return;
  style_->setDark(dark);
  if (window_) {
    redrawPreview();
    for (std::size_t index = 0; index < blocks_.size(); ++index) redrawIcon(index);
  }
}

void SettingsController::rebuild() {
  if (!window_) return;
  int tab = frame_.tabs ? gtk_notebook_get_current_page(GTK_NOTEBOOK(frame_.tabs)) : 0;
  frame_ = SettingsWindowLayout::frame(options_.version);
  buildDisplay();
  buildProviders();
  buildConnections();
  gtk_window_set_child(GTK_WINDOW(window_), frame_.content);
  selectTab(tab);
  // The Connections rows are live: read again whenever the tab is brought up.
  g_signal_connect(frame_.tabs, "switch-page",
                   G_CALLBACK(+[](GtkNotebook*, GtkWidget*, guint page, gpointer data) {
                     if (page == 2) static_cast<SettingsController*>(data)->refreshConnections();
                   }),
                   this);
  redrawPreview();
}

void SettingsController::selectTab(int index) {
  if (frame_.tabs) gtk_notebook_set_current_page(GTK_NOTEBOOK(frame_.tabs), index);
}

void SettingsController::buildDisplay() {
  std::vector<SourceState> sources =
      connections.sources ? connections.sources() : std::vector<SourceState>{};
  DisplayTabTexts texts;
  texts.touchBarSupported = options_.touchBarSupported;
  texts.pollingSummary = Choices::pollingSummary(sources);
  languages_ = Localization::available();
  for (const std::string& code : languages_) texts.languages.push_back(Localization::endonym(code));
  display_ = DisplayTabLayout::build(frame_.display, texts);
  DisplayTabWidgets& w = display_;

  auto styles = Choices::menuBarStyles();
  connectSegments(w.styleButtons, Choices::selected(styles, config_.menuBarStyle),
                  [this, styles](std::size_t index) {
                    config_.menuBarStyle = styles[index].value;
                    apply();
                  });
  auto metrics = Choices::metrics();
  connectSegments(w.metricButtons, Choices::selected(metrics, toString(config_.metric)),
                  [this, metrics](std::size_t index) {
                    config_.metric =
                        metricFromString(metrics[index].value).value_or(config_.metric);
                    apply();
                  });
  connectCheck(w.labelWindows, config_.showWindowLabels, [this](bool on) {
    config_.showWindowLabels = on;
    apply();
  });

  int warn = Choices::warnStep(config_.warnBelowRemainingPercent);
  gtk_range_set_value(GTK_RANGE(w.warnScale), warn);
  gtk_label_set_text(GTK_LABEL(w.warnValue), (std::to_string(warn) + "%").c_str());
  GtkWidget* scale = w.warnScale;
  GtkWidget* valueLabel = w.warnValue;
  on(scale, "value-changed", [this, scale, valueLabel] {
    double value = gtk_range_get_value(GTK_RANGE(scale));
    int step = Choices::warnStep(value);
    // Only tick values: the slider is put on the nearest one, which reports again.
    if (value != step) return gtk_range_set_value(GTK_RANGE(scale), step);
    gtk_label_set_text(GTK_LABEL(valueLabel), (std::to_string(step) + "%").c_str());
    if (step == config_.warnBelowRemainingPercent) return;
    config_.warnBelowRemainingPercent = step;
    apply();
  });
  connectCheck(w.notify, config_.notifications, [this](bool on) {
    config_.notifications = on;
    apply();
  });
  connectCheck(w.sound, config_.notificationSound, [this](bool on) {
    config_.notificationSound = on;
    apply();
  });
  connectCheck(w.touchBarShow, config_.touchBar, [this](bool on) {
    config_.touchBar = on;
    apply();
  });
  auto layouts = Choices::touchBarStyles();
  connectSegments(w.touchBarStyleButtons, Choices::selected(layouts, config_.touchBarStyle),
                  [this, layouts](std::size_t index) {
                    config_.touchBarStyle = layouts[index].value;
                    apply();
                  });
  auto redraw = Choices::redrawIntervals();
  connectPopUp(w.redraw, Choices::preselected(redraw, config_.refreshSeconds),
               [this, redraw](std::size_t index) {
                 config_.refreshSeconds = redraw[index].value;
                 apply();
               });
  auto stale = Choices::staleAfterMinutes();
  connectPopUp(w.staleAfter, Choices::preselected(stale, config_.staleAfterMinutes),
               [this, stale](std::size_t index) {
                 config_.staleAfterMinutes = int(stale[index].value);
                 apply();
               });
  auto current = std::find(languages_.begin(), languages_.end(), config_.language);
  connectPopUp(w.language,
               current == languages_.end() ? 0 : std::size_t(current - languages_.begin()) + 1,
               [this](std::size_t index) { chooseLanguage(index); });
}

void SettingsController::buildProviders() {
  useRealIcons_ = ProvidersTabLayout::header(frame_.providers);
  on(useRealIcons_, "clicked", [this] { useRealIcons(); });
  blocks_.clear();
  for (std::size_t index = 0; index < config_.providers.size(); ++index) {
    const ProviderConfig& provider = config_.providers[index];
    double floor = PollingPolicy::floor(provider.id);
    auto options = Choices::checkEvery(floor);
    ProviderBlockTexts texts;
    texts.label = provider.label;
    if (const ProviderSnapshot* read = snapshot_ ? snapshot_->provider(provider.id) : nullptr) {
      texts.windows.emplace();
      for (const UsageWindow& window : read->windows)
        texts.windows->emplace_back(window.windowMinutes, window.label());
    }
    texts.state = Choices::providerState(snapshot_, provider.id);
    for (const auto& option : options) texts.checkEvery.push_back(option.label);
    texts.minimum = desktop::L("settings.minimum", "minimum %@", PollingPolicy::compact(floor));
    texts.floorReason = PollingPolicy::floorReason(provider.id);
    texts.clampNotice = PollingPolicy::clampNotice(provider.pollSeconds, provider.id);
    blocks_.push_back(ProvidersTabLayout::block(frame_.providers, texts));
    const ProviderBlockWidgets& w = blocks_.back();

    connectCheck(w.enabled, provider.enabled, [this, index](bool on) {
      config_.providers[index].enabled = on;
      apply();
    });
    connectEntry(w.label, provider.label, [this, index](std::string text) {
      config_.providers[index].label = std::move(text);
      redrawIcon(index);
      apply();
    });
    connectEntry(w.icon, provider.icon, [this, index](std::string text) {
      config_.providers[index].icon = std::move(text);
      redrawIcon(index);
      apply();
    });
    on(w.chooseIcon, "clicked", [this, index] { openIconChooser(index); });
    if (auto accent = ColorToken::fromHex(provider.accent)) {
      GdkRGBA rgba{float(accent->red), float(accent->green), float(accent->blue), 1};
      G_GNUC_BEGIN_IGNORE_DEPRECATIONS
      gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(w.accent), &rgba);
      G_GNUC_END_IGNORE_DEPRECATIONS
    }
    GtkWidget* accent = w.accent;
    on(accent, "color-set", [this, index, accent] {
      GdkRGBA rgba;
      G_GNUC_BEGIN_IGNORE_DEPRECATIONS
      gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(accent), &rgba);
      G_GNUC_END_IGNORE_DEPRECATIONS
      config_.providers[index].accent = Choices::hexColour(rgba.red, rgba.green, rgba.blue);
      redrawIcon(index);
      apply();
    });
    for (const auto& window : w.windows) {
      // A lambda cannot capture a structured binding under clang.
      int minutes = window.first;
      GtkWidget* check = window.second;
      const std::vector<int>& shown = provider.windows;
      bool on = std::find(shown.begin(), shown.end(), minutes) != shown.end();
      connectCheck(check, on, [this, index, minutes](bool checked) {
        auto& windows = config_.providers[index].windows;
        windows = Choices::toggledWindow(windows, minutes, checked);
        apply();
      });
    }
    connectPopUp(w.checkEvery, Choices::preselected(options, provider.effectivePollSeconds()),
                 [this, index, options](std::size_t chosen) {
                   config_.providers[index].pollSeconds = options[chosen].value;
                   apply();
                 });
    redrawIcon(index);
  }
  ProvidersTabLayout::footer(frame_.providers);
}

void SettingsController::buildConnections() {
  Date now = options_.clock->now();
  ConnectionsTabTexts texts;
  if (connections.sources) {
    for (const SourceState& source : connections.sources())
      texts.sources.emplace_back(source.name, Choices::sourceLine(source, now));
  }
  texts.token = Choices::tokenLine(
      connections.sessionExpiry ? connections.sessionExpiry() : std::nullopt, now);
  texts.touchBarSupported = options_.touchBarSupported;
  connectionsTab_ = ConnectionsTabLayout::build(frame_.connections, texts);
  connectCheck(connectionsTab_.claudeDirect, config_.claudeDirect, [this](bool on) {
    config_.claudeDirect = on;
    apply();
    refreshConnections();
  });
  on(connectionsTab_.recheck, "clicked", [this] { recheck(); });
  on(connectionsTab_.reveal, "clicked", [this] { revealConfig(); });
}

void SettingsController::refreshConnections() {
  if (!frame_.connections) return;
  std::string status = gtk_label_get_text(GTK_LABEL(connectionsTab_.recheckStatus));
  while (GtkWidget* child = gtk_widget_get_first_child(frame_.connections))
    gtk_box_remove(GTK_BOX(frame_.connections), child);
  buildConnections();
  setRecheckStatus(status);
}

void SettingsController::setRecheckStatus(const std::string& text) {
  gtk_label_set_text(GTK_LABEL(connectionsTab_.recheckStatus), text.c_str());
  gtk_widget_set_visible(connectionsTab_.recheckStatus, !text.empty());
}

void SettingsController::redrawPreview() {
  if (!frame_.previewBox) return;
  while (GtkWidget* child = gtk_widget_get_first_child(frame_.previewBox))
    gtk_box_remove(GTK_BOX(frame_.previewBox), child);
  RenderContext context{
      .dark = options_.dark, .now = options_.clock->now(), .icons = options_.icons};
  for (const PreviewImages::Named& named :
       PreviewImages::previewImages(config_, snapshot_, options_.touchBarSupported, context)) {
    GdkTexture* picture = texture(named.image);
    if (!picture) continue;
    GtkWidget* view = gtk_picture_new_for_paintable(GDK_PAINTABLE(picture));
    g_object_unref(picture);
    gtk_widget_set_size_request(view, int(named.image.width()), int(named.image.height()));
    gtk_widget_set_name(view, named.name.c_str());
    gtk_box_append(GTK_BOX(frame_.previewBox), view);
  }
}

void SettingsController::redrawIcon(std::size_t provider) {
  if (provider >= blocks_.size()) return;
  const ProviderConfig& entry = config_.providers[provider];
  const IconLoader& icons = options_.icons ? *options_.icons : IconLoader::standard();
  ColorToken tint = ColorToken::fromHex(entry.accent)
                        .value_or(WindowStyle::colour(WindowStyle::Tone::primary, options_.dark));
  // Whatever was typed: an unusable reference shows the placeholder.
  std::optional<Image> image =
      icons.image(entry.icon, iconPoints, FontWeight::medium, tint, options_.dark);
  if (!image) image = IconLoader::missing(iconPoints, options_.dark);
  GdkTexture* picture = image ? texture(*image) : nullptr;
  gtk_picture_set_paintable(GTK_PICTURE(blocks_[provider].iconView),
                            picture ? GDK_PAINTABLE(picture) : nullptr);
  if (picture) g_object_unref(picture);
}

void SettingsController::apply() {
  redrawPreview();
  if (pendingSave_) options_.scheduler->cancel(*pendingSave_);
  std::weak_ptr<Alive> alive = alive_;
  pendingSave_ = options_.scheduler->after(saveDelay, [this, alive] {
    if (alive.lock()) save();
  });
}

void SettingsController::save() {
  pendingSave_.reset();
  ConfigStore::save(config_, options_.locations);
  if (onApply) onApply(config_);
  redrawPreview();
}

void SettingsController::chooseLanguage(std::size_t index) {
  config_.language = index == 0 || index > languages_.size() ? "" : languages_[index - 1];
  // The choice is for the next launch: written where launch looks, without switching this
  // process's texts, so the windows already open stay in one language.
  UserDefaults defaults(options_.locations.userDefaultsFile());
  if (config_.language.empty()) {
    defaults.remove(Localization::languagesKey);
  } else {
    defaults.set(Localization::languagesKey, nlohmann::json::array({config_.language}));
  }
  apply();
  if (restartNotice_) gtk_window_destroy(GTK_WINDOW(restartNotice_->window));
  restartNotice_ = SettingsWindowLayout::restartNotice(window_);
  auto close = [this] {
    if (!restartNotice_) return;
    GtkWidget* notice = restartNotice_->window;
    restartNotice_.reset();
    gtk_window_destroy(GTK_WINDOW(notice));
  };
  on(restartNotice_->laterButton, "clicked", close);
  on(restartNotice_->quitButton, "clicked", [this, close] {
    close();
    if (onQuit) onQuit();
  });
  g_signal_connect(restartNotice_->window, "close-request",
                   G_CALLBACK(+[](GtkWindow*, gpointer data) -> gboolean {
                     static_cast<SettingsController*>(data)->restartNotice_.reset();
                     return FALSE;
                   }),
                   this);
}

void SettingsController::iconChosen(std::size_t provider, const std::filesystem::path& path) {
  if (provider >= config_.providers.size() || path.empty()) return;
  std::string reference = Choices::iconReference(path);
  // The field shows it; its change handler writes the key and redraws.
  if (provider < blocks_.size()) {
    gtk_editable_set_text(GTK_EDITABLE(blocks_[provider].icon), reference.c_str());
  } else {
    config_.providers[provider].icon = reference;
    apply();
  }
}

void SettingsController::openIconChooser(std::size_t provider) {
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
      desktop::L("settings.icons.chooseFor", "Choose an app or image for %@",
                 config_.providers[provider].label)
          .c_str(),
      GTK_WINDOW(window_), GTK_FILE_CHOOSER_ACTION_OPEN, nullptr, nullptr);
  // Both kinds together first, then each alone.
  GtkFileFilter* both = gtk_file_filter_new();
  gtk_file_filter_set_name(both, desktop::L("settings.icons.pick",
                                            "Pick an application to use its real icon, or any "
                                            "image file.")
                                     .c_str());
  GtkFileFilter* applications = gtk_file_filter_new();
  gtk_file_filter_set_name(applications,
                           desktop::L("settings.icons.applications", "Applications").c_str());
  GtkFileFilter* images = gtk_file_filter_new();
  gtk_file_filter_set_name(images, desktop::L("settings.icons.images", "Images").c_str());
  for (GtkFileFilter* filter : {both, applications}) {
    gtk_file_filter_add_pattern(filter, "*.desktop");
    gtk_file_filter_add_mime_type(filter, "application/x-desktop");
  }
  for (GtkFileFilter* filter : {both, images}) gtk_file_filter_add_mime_type(filter, "image/*");
  for (GtkFileFilter* filter : {both, applications, images}) {
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
    g_object_unref(filter);
  }
  // Every applications folder is a shortcut; the chooser starts in the first of XDG_DATA_DIRS,
  // where the installed applications are (the user's own folder comes first in the list).
  std::vector<std::string> folders = ProviderDefaults::applicationFolders(options_.environment);
  bool started = false;
  for (std::size_t index = 0; index < folders.size(); ++index) {
    std::error_code error;
    if (!std::filesystem::is_directory(folders[index], error)) continue;
    GFile* folder = g_file_new_for_path(folders[index].c_str());
    gtk_file_chooser_add_shortcut_folder(GTK_FILE_CHOOSER(chooser), folder, nullptr);
    if (index > 0 && !started)
      started = gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder, nullptr);
    g_object_unref(folder);
  }
  G_GNUC_END_IGNORE_DEPRECATIONS
  struct Pending {
    SettingsController* controller;
    std::weak_ptr<Alive> alive;
    std::size_t provider;
  };
  g_signal_connect_data(
      chooser, "response", G_CALLBACK(+[](GtkNativeDialog* dialog, int response, gpointer data) {
        auto* pending = static_cast<Pending*>(data);
        if (response == GTK_RESPONSE_ACCEPT && pending->alive.lock()) {
          G_GNUC_BEGIN_IGNORE_DEPRECATIONS
          GFile* file = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog));
          G_GNUC_END_IGNORE_DEPRECATIONS
          if (char* path = file ? g_file_get_path(file) : nullptr) {
            pending->controller->iconChosen(pending->provider, path);
            g_free(path);
          }
          if (file) g_object_unref(file);
        }
        g_object_unref(dialog);
      }),
      new Pending{this, alive_, provider},
      [](gpointer data, GClosure*) { delete static_cast<Pending*>(data); }, GConnectFlags(0));
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

void SettingsController::useRealIcons() {
  for (ProviderConfig& provider : config_.providers)
    provider.icon =
        ProviderDefaults::suggestedIcon(provider.id, options_.pathExists, options_.environment);
  apply();
  rebuild();
}

void SettingsController::recheck() {
  bool accepted = connections.forceRefresh && connections.forceRefresh();
  double availableIn =
      connections.manualRefreshAvailableIn ? connections.manualRefreshAvailableIn() : 0;
  if (accepted && onRefreshRequested) onRefreshRequested();
  refreshConnections();
  setRecheckStatus(Choices::recheckOutcome(accepted, availableIn));
}

void SettingsController::revealConfig() {
  std::filesystem::path file = ConfigStore::url(options_.locations);
  auto uri = [](const std::filesystem::path& path) {
    GFile* location = g_file_new_for_path(path.c_str());
    char* text = g_file_get_uri(location);
    std::string result = text;
    g_free(text);
    g_object_unref(location);
    return result;
  };
  auto* request = new RevealRequest{uri(file), uri(file.parent_path())};
  // Asynchronous throughout: the main loop never waits for the bus or the file manager.
  GAsyncReadyCallback connected = [](GObject*, GAsyncResult* result, gpointer data) {
    auto* request = static_cast<RevealRequest*>(data);
    GDBusConnection* bus = request->ownBus
                               ? g_dbus_connection_new_for_address_finish(result, nullptr)
                               : g_bus_get_finish(result, nullptr);
    if (!bus) {
      openFolder(request);
      delete request;
      return;
    }
    const char* uris[] = {request->fileUri.c_str(), nullptr};
    g_dbus_connection_call(
        bus, "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
        "org.freedesktop.FileManager1", "ShowItems", g_variant_new("(^ass)", uris, ""), nullptr,
        G_DBUS_CALL_FLAGS_NONE, revealTimeoutMs, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          auto* request = static_cast<RevealRequest*>(data);
          GVariant* reply =
              g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
          if (reply) {
            g_variant_unref(reply);
          } else {
            openFolder(request);
          }
          delete request;
        },
        request);
    g_object_unref(bus);
  };
  if (options_.busAddress.empty()) {
    g_bus_get(G_BUS_TYPE_SESSION, nullptr, connected, request);
  } else {
    request->ownBus = true;
    g_dbus_connection_new_for_address(
        options_.busAddress.c_str(),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                             G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, connected, request);
  }
}

bool SettingsController::isLaidOut() const {
  return window_ && gtk_widget_get_visible(window_) && gtk_widget_get_mapped(window_) &&
         gtk_widget_get_width(frame_.tabs) > 0;
}

std::optional<std::string> SettingsController::windowPng() const {
  return isLaidOut() ? WidgetPicture::png(window_) : std::nullopt;
}

}  // namespace meterwright
