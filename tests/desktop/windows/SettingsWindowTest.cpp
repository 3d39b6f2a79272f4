#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/config/ConfigStore.h"
#include "core/providers/ProviderRegistry.h"
#include "core/settings/UserDefaults.h"
#include "core/text/Localization.h"
#include "core/text/LocalizedModule.h"
#include "desktop/render/IconLoader.h"
#include "desktop/text/DesktopText.h"
#include "desktop/windows/GtkOnVirtualDisplay.h"
#include "desktop/windows/SettingsController.h"
#include "platform/glib/MainLoopWait.h"
#include "support/FakeBusObject.h"
#include "support/ManualClock.h"
#include "support/ManualScheduler.h"
#include "support/PrivateBus.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using testing::readFile;
using testing::writeFile;

UsageWindow window(int minutes, double used) {
  UsageWindow result;
  result.windowMinutes = minutes;
  result.usedPercent = used;
  return result;
}

// Every GtkLabel under `widget`, in tree order.
void collectLabels(GtkWidget* widget, std::vector<GtkWidget*>& labels) {
  if (GTK_IS_LABEL(widget)) labels.push_back(widget);
  for (GtkWidget* child = gtk_widget_get_first_child(widget); child;
       child = gtk_widget_get_next_sibling(child))
    collectLabels(child, labels);
}

std::vector<std::string> popUpItems(GtkWidget* popUp) {
  GListModel* model = gtk_drop_down_get_model(GTK_DROP_DOWN(popUp));
  std::vector<std::string> items;
  for (guint index = 0; index < g_list_model_get_n_items(model); ++index)
    items.push_back(gtk_string_list_get_string(GTK_STRING_LIST(model), index));
  return items;
}

std::string selectedItem(GtkWidget* popUp) {
  return popUpItems(popUp).at(gtk_drop_down_get_selected(GTK_DROP_DOWN(popUp)));
}

ProviderSnapshot provider(const std::string& id, const std::string& state) {
  ProviderSnapshot result;
  result.id = id;
  result.name = id;
  result.state = state;
  return result;
}

class SettingsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string& problem = testing::gtkOnVirtualDisplay(); !problem.empty())
      GTEST_SKIP() << problem;
    std::filesystem::create_directories(folder.path() / "share/applications");
    makeWindow();
    config = Config::fallback([](const std::filesystem::path&) { return false; });
    config.providers.at(1).pollSeconds = 200;
    config.providers.at(0).windows = {300, 10080};
    snapshot.generatedAt = clock->now();
    ProviderSnapshot claude = provider("claude", "live");
    claude.windows = {window(300, 40), window(10080, 12)};
    ProviderSnapshot codex = provider("codex", "cached");
    codex.windows = {window(300, 23)};
    snapshot.providers = {claude, codex};
  }

  void TearDown() override {
    settings.reset();
    desktopText().choose(std::nullopt);
    coreText().choose(std::nullopt);
    MainLoopWait::run(0);
  }

  void makeWindow(const std::string& busAddress = "") {
    SettingsController::Options options;
    options.busAddress = busAddress;
    options.locations = folder.locations();
    options.clock = clock;
    options.scheduler = scheduler;
    options.environment = environment;
    options.pathExists = pathExistsOnDisk;
    options.icons = &icons;
    options.version = "0.1.0";
    settings = std::make_unique<SettingsController>(options);
    settings->onApply = [this](const Config& applied) { this->applied.push_back(applied); };
  }

  void showAndLayOut() {
    ASSERT_TRUE(settings->show(config, snapshot));
    ASSERT_TRUE(MainLoopWait::until([&] { return settings->isLaidOut(); }, 20));
  }

  std::filesystem::path configFile() const { return ConfigStore::url(folder.locations()); }
  Config saved() const { return ConfigStore::load(folder.locations()).config; }

  testing::TemporaryFolder folder;
  Environment environment = [this](const char* name) -> std::optional<std::string> {
    std::string variable = name;
    if (variable == "XDG_DATA_DIRS") return (folder.path() / "share").string();
    if (variable == "XDG_DATA_HOME") return (folder.path() / "data").string();
    if (variable == "HOME") return folder.path().string();
    return std::nullopt;
  };
  IconLoader icons{environment};
  std::shared_ptr<testing::ManualClock> clock = std::make_shared<testing::ManualClock>();
  std::shared_ptr<testing::ManualScheduler> scheduler =
      std::make_shared<testing::ManualScheduler>(*clock);
  Config config;
  Snapshot snapshot;
  std::vector<Config> applied;
  std::unique_ptr<SettingsController> settings;
};

TEST_F(SettingsWindowTest, DraggingTheSliderSavesOnceAfterTheLastMovementAtATick) {
  showAndLayOut();
  GtkRange* slider = GTK_RANGE(settings->displayTab().warnScale);
  for (double value : {22.0, 26.5, 31.0, 34.0, 38.2}) {
    gtk_range_set_value(slider, value);
    scheduler->advance(0.1);
  }
  scheduler->advance(0.19);
  EXPECT_TRUE(applied.empty());
  EXPECT_FALSE(std::filesystem::exists(configFile()));

  scheduler->advance(0.02);
  ASSERT_EQ(applied.size(), 1u);
  EXPECT_EQ(applied[0].warnBelowRemainingPercent, 40);
  EXPECT_EQ(saved().warnBelowRemainingPercent, 40);
  EXPECT_EQ(gtk_range_get_value(slider), 40);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(settings->displayTab().warnValue)), "40%");
  scheduler->advance(5);
  EXPECT_EQ(applied.size(), 1u);

  // A last movement is written even when the window goes before its save is due.
  gtk_range_set_value(slider, 10);
  settings.reset();
  EXPECT_EQ(saved().warnBelowRemainingPercent, 10);
  EXPECT_EQ(applied.size(), 1u);
}

TEST_F(SettingsWindowTest, CheckEveryOffersTheOptionsAboveTheFloorAndWritesTheChoice) {
  showAndLayOut();
  GtkWidget* codex = settings->providerBlocks().at(1).checkEvery;
  EXPECT_EQ(popUpItems(codex), (std::vector<std::string>{"5 minutes", "10 minutes", "15 minutes",
                                                         "30 minutes", "1 hour"}));
  // 200 s is above Codex's 180-second floor: the first option not shorter is preselected.
  EXPECT_EQ(selectedItem(codex), "5 minutes");

  gtk_drop_down_set_selected(GTK_DROP_DOWN(codex), 3);
  scheduler->advance(0.3);
  EXPECT_EQ(saved().providers.at(1).pollSeconds, 1800);

  // A floor between the options leaves out the shorter ones and preselects from what is left.
  auto options = SettingsChoices::checkEvery(700);
  ASSERT_EQ(options.size(), 3u);
  EXPECT_EQ(options[0].value, 900);
  EXPECT_EQ(SettingsChoices::preselected(options, 2000), 2u);
  EXPECT_EQ(SettingsChoices::preselected(options, 7200), 0u);
}

TEST_F(SettingsWindowTest, WindowCheckboxesRemoveAndReAddTheLengthInSortedOrder) {
  showAndLayOut();
  const auto& windows = settings->providerBlocks().at(0).windows;
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_EQ(windows[0].first, 300);
  GtkCheckButton* fiveHours = GTK_CHECK_BUTTON(windows[0].second);
  EXPECT_STREQ(gtk_check_button_get_label(fiveHours), "5h");
  EXPECT_TRUE(gtk_check_button_get_active(fiveHours));

  gtk_check_button_set_active(fiveHours, FALSE);
  scheduler->advance(0.3);
  EXPECT_EQ(saved().providers.at(0).windows, (std::vector<int>{10080}));
  gtk_check_button_set_active(fiveHours, TRUE);
  scheduler->advance(0.3);
  EXPECT_EQ(saved().providers.at(0).windows, (std::vector<int>{300, 10080}));

  EXPECT_EQ(SettingsChoices::toggledWindow({300, 60, 300, 10080}, 300, false),
            (std::vector<int>{60, 10080}));
  // A provider outside the reading has nothing to check yet.
  EXPECT_TRUE(settings->providerBlocks().at(2).windows.empty());
}

TEST_F(SettingsWindowTest, ChosenIconFilesBecomeAppOrFileReferences) {
  showAndLayOut();
  std::filesystem::path entry = folder.path() / "share/applications/claude.desktop";
  writeFile(entry, "[Desktop Entry]\nType=Application\nName=Claude\nIcon=claude\n");
  std::filesystem::path png = folder.path() / "pictures/codex icon.png";
  writeFile(png, "not really a picture");

  settings->iconChosen(0, entry);
  settings->iconChosen(1, png);
  scheduler->advance(0.3);
  Config written = saved();
  EXPECT_EQ(written.providers.at(0).icon, "app:" + entry.string());
  EXPECT_EQ(written.providers.at(1).icon, "file:" + png.string());
  EXPECT_EQ(gtk_editable_get_text(GTK_EDITABLE(settings->providerBlocks().at(1).icon)),
            "file:" + png.string());
  // A picture that cannot be read still shows something: the placeholder.
  EXPECT_NE(gtk_picture_get_paintable(GTK_PICTURE(settings->providerBlocks().at(1).iconView)),
            nullptr);
}

// GTK's own chooser (no portal on the test's display), answered as the user would.
TEST_F(SettingsWindowTest, TheIconChooserStartsAmongTheApplicationsAndHandsBackTheChoice) {
  std::filesystem::path entry = folder.path() / "share/applications/codex.desktop";
  writeFile(entry, "[Desktop Entry]\nType=Application\nName=Codex\n");
  showAndLayOut();
  g_signal_emit_by_name(settings->providerBlocks().at(1).chooseIcon, "clicked");
  GtkWidget* dialog = nullptr;
  GFile* start = nullptr;
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  // Shown, and the folder it starts in taken up (GTK loads it after showing).
  ASSERT_TRUE(MainLoopWait::until(
      [&] {
        GListModel* windows = gtk_window_get_toplevels();
        for (guint index = 0; index < g_list_model_get_n_items(windows); ++index) {
          auto* window = static_cast<GtkWidget*>(g_list_model_get_item(windows, index));
          g_object_unref(window);
          if (GTK_IS_FILE_CHOOSER(window) && gtk_widget_get_visible(window)) dialog = window;
        }
        start = dialog ? gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(dialog)) : nullptr;
        return start != nullptr;
      },
      10));
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(dialog)), "Choose an app or image for GPT Codex");
  char* startPath = g_file_get_path(start);
  EXPECT_EQ(std::filesystem::path(startPath), entry.parent_path());
  g_free(startPath);
  g_object_unref(start);
  GFile* chosen = g_file_new_for_path(entry.c_str());
  gtk_file_chooser_set_file(GTK_FILE_CHOOSER(dialog), chosen, nullptr);
  g_object_unref(chosen);
  // The selection, too, is taken up once the folder is loaded.
  EXPECT_TRUE(MainLoopWait::until(
      [&] {
        GFile* selected = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog));
        if (selected) g_object_unref(selected);
        return selected != nullptr;
      },
      10));
  gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
  G_GNUC_END_IGNORE_DEPRECATIONS
  GtkEditable* icon = GTK_EDITABLE(settings->providerBlocks().at(1).icon);
  EXPECT_TRUE(MainLoopWait::until(
      [&] { return gtk_editable_get_text(icon) == "app:" + entry.string(); }, 10));
  scheduler->advance(0.3);
  EXPECT_EQ(saved().providers.at(1).icon, "app:" + entry.string());
}

TEST_F(SettingsWindowTest, RealAppIconsAreTheInstalledEntriesElseTheSymbols) {
  config.providers.at(0).icon = "file:/gone.png";
  config.providers.at(1).icon = "file:/gone.png";
  std::string claudeEntry = ProviderRegistry::claude().appIconCandidates.at(0);
  writeFile(folder.path() / "share/applications" / (claudeEntry + ".desktop"),
            "[Desktop Entry]\nType=Application\nName=Claude\n");
  showAndLayOut();
  g_signal_emit_by_name(settings->useRealIconsButton(), "clicked");
  // Rebuilt at once, showing what will be saved.
  EXPECT_EQ(gtk_editable_get_text(GTK_EDITABLE(settings->providerBlocks().at(0).icon)),
            "bundle:" + claudeEntry);
  scheduler->advance(0.3);
  Config written = saved();
  EXPECT_EQ(written.providers.at(0).icon, "bundle:" + claudeEntry);
  EXPECT_EQ(written.providers.at(1).icon, ProviderRegistry::codex().fallbackSymbol);
}

TEST_F(SettingsWindowTest, TheLivePreviewRedrawsAtOnceAndTheSaveWaits) {
  showAndLayOut();
  auto previewWidth = [&] {
    GtkWidget* first = gtk_widget_get_first_child(settings->frame().previewBox);
    GdkPaintable* picture = first ? gtk_picture_get_paintable(GTK_PICTURE(first)) : nullptr;
    return picture ? gdk_paintable_get_intrinsic_width(picture) : 0;
  };
  int detailed = previewWidth();
  ASSERT_GT(detailed, 0);
  // "Text", the third segment.
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(settings->displayTab().styleButtons.at(2)), TRUE);
  EXPECT_NE(previewWidth(), detailed);
  EXPECT_TRUE(applied.empty());
  scheduler->advance(0.3);
  EXPECT_EQ(saved().menuBarStyle, "text");
}

TEST_F(SettingsWindowTest, TypedValuesAreSavedAsTypedAndTheColourAsUpperCaseHex) {
  showAndLayOut();
  const ProviderBlockWidgets& claude = settings->providerBlocks().at(0);
  gtk_editable_set_text(GTK_EDITABLE(claude.label), "  Cl\u00E4ude \u26A0 ");
  gtk_editable_set_text(GTK_EDITABLE(claude.icon), "app:/no/such/thing\x7f");
  GdkRGBA rgba{0.102f, 0.169f, 0.235f, 1};
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(claude.accent), &rgba);
  G_GNUC_END_IGNORE_DEPRECATIONS
  g_signal_emit_by_name(claude.accent, "color-set");
  scheduler->advance(0.3);

  ASSERT_EQ(applied.size(), 1u);
  Config written = saved();
  EXPECT_EQ(written.providers.at(0).label, "  Cl\u00E4ude \u26A0 ");
  EXPECT_EQ(written.providers.at(0).icon, "app:/no/such/thing\x7f");
  EXPECT_EQ(written.providers.at(0).accent, "#1A2B3C");
  EXPECT_NE(gtk_picture_get_paintable(GTK_PICTURE(claude.iconView)), nullptr);
  EXPECT_EQ(SettingsChoices::hexColour(1.5, -0.2, std::nan("")), "#FF0000");
}

TEST_F(SettingsWindowTest, ChoosingALanguageWritesTheLaunchLanguageAtOnceAndAsksToReopen) {
  showAndLayOut();
  GtkWidget* language = settings->displayTab().language;
  std::vector<std::string> items = popUpItems(language);
  auto german = std::find(items.begin(), items.end(), "Deutsch");
  ASSERT_NE(german, items.end());
  EXPECT_EQ(items.front(), "The system language");
  UserDefaults defaults(folder.locations().userDefaultsFile());

  gtk_drop_down_set_selected(GTK_DROP_DOWN(language), guint(german - items.begin()));
  EXPECT_EQ(defaults.stringArray(Localization::languagesKey), (std::vector<std::string>{"de"}));
  ASSERT_TRUE(settings->restartNotice());
  std::vector<GtkWidget*> labels;
  collectLabels(settings->restartNotice()->window, labels);
  ASSERT_FALSE(labels.empty());
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(labels[0])), "Reopen Meterwright to finish");
  // This process stays in the language it was started in, also where it builds anew.
  settings->rebuild();
  GtkNotebook* tabs = GTK_NOTEBOOK(settings->frame().tabs);
  EXPECT_STREQ(gtk_notebook_get_tab_label_text(tabs, gtk_notebook_get_nth_page(tabs, 0)),
               "Display");
  g_signal_emit_by_name(settings->restartNotice()->laterButton, "clicked");
  EXPECT_FALSE(settings->restartNotice());
  scheduler->advance(0.3);
  EXPECT_EQ(saved().language, "de");

  bool quit = false;
  settings->onQuit = [&] { quit = true; };
  gtk_drop_down_set_selected(GTK_DROP_DOWN(language), 0);
  EXPECT_FALSE(defaults.value(Localization::languagesKey));
  ASSERT_TRUE(settings->restartNotice());
  g_signal_emit_by_name(settings->restartNotice()->quitButton, "clicked");
  EXPECT_TRUE(quit);
}

TEST_F(SettingsWindowTest, AFileEditedByHandWhileOpenIsShownAtTheNextShowAndNotOverwritten) {
  showAndLayOut();
  gtk_check_button_set_active(GTK_CHECK_BUTTON(settings->displayTab().notify), FALSE);
  Config edited = config;
  edited.warnBelowRemainingPercent = 35;
  edited.providers.at(1).label = "Codex by hand";
  ASSERT_TRUE(ConfigStore::save(edited, folder.locations()));
  std::string byHand = readFile(configFile());

  ASSERT_TRUE(settings->show(ConfigStore::load(folder.locations()).config, snapshot));
  scheduler->advance(1);
  EXPECT_EQ(readFile(configFile()), byHand);
  EXPECT_TRUE(applied.empty());
  EXPECT_EQ(gtk_range_get_value(GTK_RANGE(settings->displayTab().warnScale)), 35);
  EXPECT_EQ(gtk_editable_get_text(GTK_EDITABLE(settings->providerBlocks().at(1).label)),
            std::string("Codex by hand"));
  EXPECT_TRUE(gtk_check_button_get_active(GTK_CHECK_BUTTON(settings->displayTab().notify)));
}

TEST_F(SettingsWindowTest, ConnectionsShowEachSourceAndReCheckSaysWhatHappened) {
  SourceState claude;
  claude.name = "Claude \u2014 direct";
  claude.windows = std::vector{window(300, 40), window(10080, 12.4)};
  claude.nextAttempt = addingSeconds(clock->now(), 240);
  claude.minimumInterval = 300;
  SourceState codex;
  codex.name = "Codex \u2014 app server";
  codex.failure = SourceFailure{};
  codex.failure->summary = "codex is not signed in";
  codex.nextAttempt = addingSeconds(clock->now(), 600);
  codex.backingOff = true;
  codex.minimumInterval = 180;
  Date expiry = addingSeconds(clock->now(), 1800);
  bool accept = false;
  int refreshes = 0;
  settings->connections.sources = [&] { return std::vector{claude, codex}; };
  settings->connections.forceRefresh = [&] { return accept; };
  settings->connections.manualRefreshAvailableIn = [] { return 42.0; };
  settings->connections.sessionExpiry = [&] { return std::optional(expiry); };
  settings->onRefreshRequested = [&] { ++refreshes; };
  showAndLayOut();
  auto text = [](GtkWidget* label) { return std::string(gtk_label_get_text(GTK_LABEL(label))); };
  const ConnectionsTabWidgets& tab = settings->connectionsTab();
  ASSERT_EQ(tab.sourceLines.size(), 2u);
  EXPECT_EQ(text(tab.sourceLines[0]), "5h 40% used \u00B7 7d 12% used \u00B7 next check in 4m");
  EXPECT_EQ(text(tab.sourceLines[1]),
            "codex is not signed in \u00B7 backing off \u00B7 retry in 10m");
  // Under the 45-minute lead time the token line carries the warning sign.
  EXPECT_EQ(text(tab.token), "\u26A0 Claude Code token valid for 30m");
  EXPECT_EQ(text(settings->displayTab().pollingHint),
            "Currently Claude every 5m, Codex every 3m. Each has a minimum it cannot be pushed "
            "below \u2014 Providers explains why.");

  g_signal_emit_by_name(settings->connectionsTab().recheck, "clicked");
  EXPECT_EQ(text(settings->connectionsTab().recheckStatus),
            "Providers are throttled \u2014 try again in <1m.");
  EXPECT_EQ(refreshes, 0);
  accept = true;
  g_signal_emit_by_name(settings->connectionsTab().recheck, "clicked");
  EXPECT_EQ(text(settings->connectionsTab().recheckStatus),
            "Asking now \u2014 the rows above update when each answers.");
  EXPECT_EQ(refreshes, 1);

  clock->advance(3600);
  settings->selectTab(0);
  settings->selectTab(2);
  EXPECT_EQ(text(settings->connectionsTab().sourceLines[0]),
            "5h 40% used \u00B7 7d 12% used \u00B7 checking on next tick");
  EXPECT_EQ(text(settings->connectionsTab().token)
                .rfind("Claude Code token lapsed 30m ago \u2014 sign-in still valid", 0),
            0u);
}

// The file manager's ShowItems, recording what it was asked to show.
struct FakeFileManager {
  static constexpr const char* introspection = R"(<node>
    <interface name="org.freedesktop.FileManager1">
      <method name="ShowItems">
        <arg type="as" name="uris" direction="in"/><arg type="s" name="startup" direction="in"/>
      </method>
    </interface></node>)";
  GDBusConnection* connection = nullptr;
  unsigned registration = 0;
  std::vector<std::string> shown;

  void handle(const char*, GVariant* parameters, GDBusMethodInvocation* invocation) {
    GVariantIter* uris = nullptr;
    const char* startup = nullptr;
    g_variant_get(parameters, "(as&s)", &uris, &startup);
    const char* uri = nullptr;
    while (g_variant_iter_next(uris, "&s", &uri)) shown.push_back(uri);
    g_variant_iter_free(uris);
    g_dbus_method_invocation_return_value(invocation, nullptr);
  }
};

TEST_F(SettingsWindowTest, RevealAsksTheFileManagerToShowTheConfigFile) {
  testing::PrivateBus bus(folder.path() / "bus");
  if (!bus.problem().empty()) GTEST_SKIP() << bus.problem();
  FakeFileManager files;
  ASSERT_TRUE(testing::exportFakeObject(bus.address(), FakeFileManager::introspection,
                                        "/org/freedesktop/FileManager1", &files,
                                        "org.freedesktop.FileManager1"));
  makeWindow(bus.address());
  showAndLayOut();

  g_signal_emit_by_name(settings->connectionsTab().reveal, "clicked");
  EXPECT_TRUE(MainLoopWait::until([&] { return !files.shown.empty(); }, 10));
  GFile* file = g_file_new_for_path(configFile().c_str());
  char* uri = g_file_get_uri(file);
  EXPECT_EQ(files.shown, (std::vector<std::string>{uri}));
  g_free(uri);
  g_object_unref(file);
  testing::unexportFakeObject(&files);
}

// The texts of all three tabs, each laid out in turn.
std::vector<std::string> shownTexts(SettingsController& settings) {
  std::vector<std::string> texts;
  std::vector<GtkWidget*> labels;
  collectLabels(settings.window(), labels);
  for (GtkWidget* label : labels) texts.push_back(gtk_label_get_text(GTK_LABEL(label)));
  for (GtkWidget* popUp : {settings.displayTab().redraw, settings.displayTab().staleAfter})
    for (const std::string& item : popUpItems(popUp)) texts.push_back(item);
  return texts;
}

TEST_F(SettingsWindowTest, InGermanEveryTextIsTranslatedAndNoneIsCutOff) {
  showAndLayOut();
  std::vector<std::string> english = shownTexts(*settings);
  settings.reset();
  MainLoopWait::run(0);

  desktopText().choose(std::vector<std::string>{"de"});
  coreText().choose(std::vector<std::string>{"de"});
  makeWindow();
  showAndLayOut();
  std::set<std::string> german;
  for (const std::string& text : shownTexts(*settings)) german.insert(text);
  // Names, figures, words German shares with English, and GTK's own texts inside its pop-ups
  // (translated by GTK's catalogue, not installed here).
  std::set<std::string> same{
      "",     "5h",      "7d",      "20%",    "Meterwright 0.1.0", "Touch Bar",
      "Text", "Deutsch", "English", "(None)", "Search\u2026"};
  for (const ProviderConfig& provider : config.providers) same.insert(provider.label);
  for (const std::string& text : english) {
    if (same.count(text) == 0) {
      EXPECT_EQ(german.count(text), 0u) << "untranslated: " << text;
    }
  }

  for (int tab = 0; tab < 3; ++tab) {
    settings->selectTab(tab);
    MainLoopWait::run(0.05);
    std::vector<GtkWidget*> labels;
    collectLabels(settings->window(), labels);
    for (GtkWidget* label : labels) {
      if (!gtk_widget_get_mapped(label)) continue;
      int width = gtk_widget_get_width(label);
      int height = gtk_widget_get_height(label);
      int minimumWidth = 0, minimumHeight = 0, natural = 0;
      gtk_widget_measure(label, GTK_ORIENTATION_HORIZONTAL, -1, &minimumWidth, &natural, nullptr,
                         nullptr);
      int across = width + gtk_widget_get_margin_start(label) + gtk_widget_get_margin_end(label);
      gtk_widget_measure(label, GTK_ORIENTATION_VERTICAL, across, &minimumHeight, &natural, nullptr,
                         nullptr);
      const char* text = gtk_label_get_text(GTK_LABEL(label));
      // Measures include the margins, sizes do not.
      minimumWidth -= gtk_widget_get_margin_start(label) + gtk_widget_get_margin_end(label);
      minimumHeight -= gtk_widget_get_margin_top(label) + gtk_widget_get_margin_bottom(label);
      EXPECT_GE(width, minimumWidth) << "tab " << tab << ": " << text;
      EXPECT_GE(height, minimumHeight) << "tab " << tab << ": " << text;
      EXPECT_FALSE(pango_layout_is_ellipsized(gtk_label_get_layout(GTK_LABEL(label))))
          << "tab " << tab << ": " << text;
    }
  }
  int minimumWidth = 0, natural = 0;
  gtk_widget_measure(settings->window(), GTK_ORIENTATION_HORIZONTAL, -1, &minimumWidth, &natural,
                     nullptr, nullptr);
  EXPECT_LE(minimumWidth, gtk_widget_get_width(settings->window()));
}

}  // namespace
}  // namespace meterwright
