// The site window's template on a real X server with the FLTK backend: a thousand rows, keys and
// clicks as FLTK delivers them. With TILTWISE_SCREENSHOT naming a file, the window is saved there
// as a PPM picture once filled, to look at. Skipped unless TILTWISE_FLTK_LIVE is set.
// clang-format off
#include <gtest/gtest.h>  // before the X headers, whose None macro it cannot take
#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
// clang-format on

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "res/SiteResources.h"
#include "ui/Backend.h"
#include "ui/ListModel.h"

namespace {

ui::Backend& B() {
  return ui::GetBackend();
}

void Key(int keysym, const char* text, int state = 0) {
  static char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%s", text);
  Fl::e_keysym = keysym;
  Fl::e_text = buffer;
  Fl::e_length = static_cast<int>(std::string(text).size());
  Fl::e_state = state;
  Fl::handle(FL_KEYBOARD, Fl::first_window());
}

void Click(int x, int y) {
  Fl::e_x = x;
  Fl::e_y = y;
  Fl::e_state = 0;
  Fl::handle(FL_PUSH, Fl::first_window());
  Fl::handle(FL_RELEASE, Fl::first_window());
}

class Site : public ui::DialogEvents {
 public:
  ui::WindowHandle dialog = nullptr;
  std::vector<std::vector<int>> heard;  // id, code, item
  std::function<void()> step;

  bool HandleInitDialog(ui::WindowHandle d) override {
    dialog = d;
    ui::ListModel* m = List();
    m->SetRowCount(1000);
    for (int r = 0; r < 1000; ++r) {
      m->SetRow(r, {"cam-" + std::to_string(r), r % 2 ? "hall" : "gate",
                    "127.0.0." + std::to_string(1 + r % 250) + ":80", "admin", "ok", "T31",
                    r % 3 ? "on" : "off", "off", "on"});
    }
    B().SetProgress(B().FindControl(d, IDC_SITE_PROGRESS), 0, 40, 12);
    B().SetText(B().FindControl(d, IDC_SITE_STATUS), "12/40 done, 1 failed, 5 restarting");
    Fl::add_timeout(0.3, &Site::Tick, this);
    return true;
  }
  bool HandleCommand(int) override { return true; }
  void HandlePaint() override {}
  ui::IconHandle HandleQueryDragIcon() override { return nullptr; }
  void HandleDestroy() override {}
  void HandleNotify(int id, int code, int item) override { heard.push_back({id, code, item}); }

  ui::ListModel* List() { return B().List(B().FindControl(dialog, IDC_SITE_LIST)); }

 private:
  static void Tick(void* self) { static_cast<Site*>(self)->step(); }
};

void Screenshot(const char* path) {
  Fl_Window* w = Fl::first_window();
  Fl::flush();
  w->make_current();
  unsigned char* pixels = fl_read_image(nullptr, 0, 0, w->w(), w->h());
  ASSERT_NE(pixels, nullptr);
  FILE* f = std::fopen(path, "wb");
  ASSERT_NE(f, nullptr);
  std::fprintf(f, "P6\n%d %d\n255\n", w->w(), w->h());
  std::fwrite(pixels, 3, static_cast<size_t>(w->w()) * w->h(), f);
  std::fclose(f);
  delete[] pixels;
}

TEST(FltkLiveSite, AThousandRowsSortTickAndSpeak) {
  if (!std::getenv("TILTWISE_FLTK_LIVE")) GTEST_SKIP() << "needs an X server: ctest -L gui";
  ASSERT_TRUE(B().Connect());
  Site s;
  s.step = [&] {
    ui::ListModel* m = s.List();
    ASSERT_NE(m, nullptr);
    if (const char* shot = std::getenv("TILTWISE_SCREENSHOT")) Screenshot(shot);
    ui::Rect list = B().ClientRect(B().FindControl(s.dialog, IDC_SITE_LIST));
    int left = 0, top = 0;
    // The list's widget: the one of its size.
    Fl_Window* win = Fl::first_window();
    for (int i = 0; i < win->children(); ++i) {
      Fl_Widget* c = win->child(i);
      if (c->w() == list.Width() && c->h() == list.Height()) left = c->x(), top = c->y();
    }
    Click(left + 30, top + 4);  // the first column's title: sorts by name
    EXPECT_EQ(m->sortColumn(), 0);
    EXPECT_EQ(m->Cell(m->RowAt(2), 0), "cam-2");  // by number, not "cam-10"
    Click(left + 30, top + 4);                    // again: the other way round
    EXPECT_EQ(m->Cell(m->RowAt(0), 0), "cam-999");
    // A click on the tick box of the second row shown, then keys in the focused list.
    int rowTop = top + 30;
    Click(left + 8, rowTop);
    int clicked = m->focus();
    ASSERT_GE(clicked, 0);
    EXPECT_TRUE(m->Ticked(clicked));
    Key(FL_Down, "");
    Key(' ', " ");
    EXPECT_TRUE(m->Ticked(m->RowAt(m->PositionOf(clicked) + 1)));
    EXPECT_EQ(m->TickedCount(), 2);
    Key(FL_End, "");
    EXPECT_EQ(m->PositionOf(m->focus()), 999);
    Key('a', "a", FL_CTRL);
    EXPECT_EQ(m->TickedCount(), 1000);
    // Alt and a label's letter reach the control after the label.
    Key('p', "p", FL_ALT);
    Key('x', "x");
    EXPECT_EQ(B().GetText(B().FindControl(s.dialog, IDC_SITE_PASSWORD)), "x");
    Key('l', "l", FL_ALT);
    Key(' ', " ");
    EXPECT_EQ(m->TickedCount(), 999) << "Space in the list again";
    B().EndModal(s.dialog, 1);
  };
  EXPECT_EQ(B().RunModal(kTiltwiseSite, nullptr, s), 1);
  ASSERT_GE(s.heard.size(), 6u);
  EXPECT_EQ(s.heard.front(), (std::vector<int>{IDC_SITE_LIST, ui::kListColumnClick, 0}));
}

}  // namespace
