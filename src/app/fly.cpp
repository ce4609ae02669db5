#include "app/fly.h"

#include "core/error.h"
#include "core/frame_pipeline.h"
#include "platform/application.h"
#include "platform/form.h"
#include "platform/timer.h"

namespace zin {
namespace {

std::unique_ptr<FlyUnit> unit;

}  // namespace

// The fly's window. It frees the fly object with itself, so that closing all flies leaves
// nothing behind; the fly's own fields no longer point at the window or its timer by then.
class FlyWindow : public ui::Form {
 public:
  explicit FlyWindow(ui::Component* owner) : ui::Form(owner) {}
  ~FlyWindow() override {
    if (fly_) {
      fly_->Form = nullptr;
      fly_->Timer = nullptr;
      if (fly_->busy_ > 0) {
        fly_->orphaned_ = true;
      } else {
        delete fly_;
      }
    }
  }
  void adopt(TFlyForm* fly) { fly_ = fly; }

 private:
  TFlyForm* fly_ = nullptr;
};

void initializeFlyUnit() {
  unit = std::make_unique<FlyUnit>();
  unit->FrameBitmap = ui::platform().createBitmap();
}

void finalizeFlyUnit() {
  unit.reset();
}

FlyUnit& flyUnit() {
  return *unit;
}

bool isFlyWindowName(const std::string& name) {
  return name.rfind(kFlyNamePrefix, 0) == 0;
}

TFlyForm::TFlyForm() {
  auto* window = new FlyWindow(ui::application);
  Form = window;
  try {
    // The tick count goes in unsigned: after 24.9 days of uptime it must not turn negative.
    const std::uint32_t ticks = ui::platform().tickCount();
    const int suffix = random().next(9999);
    Form->setName(kFlyNamePrefix + std::to_string(ticks) + std::to_string(suffix));
    Form->setBorderStyle(ui::BorderStyle::None);
    Form->onMouseMove = [this](int, int) { FlyMouseMove(); };
    Form->onDblClick = [this] { FlyDblClick(); };
    Form->onShow = [this] { FlyShow(); };
    Timer = new ui::Timer(Form);
    Timer->setEnabled(false);
    Timer->setInterval(kWalkInterval);
    Timer->setOnTimer([this] { FlyTimer(); });
    Form->show();
  } catch (...) {
    delete Timer;
    Timer = nullptr;
    delete Form;
    Form = nullptr;
    throw;
  }
  window->adopt(this);
}

TFlyForm::~TFlyForm() {
  delete Timer;
  delete Form;
}

void TFlyForm::FlyShow() {
  ui::Platform& p = ui::platform();
  // The platform showed the application's window with this form; hiding it again keeps the
  // program off the taskbar.
  p.showWindow(ui::application->handle(), ui::ShowCommand::Hide);
  p.setWindowOwner(Form->handle(), p.desktopWindow());
  const std::uint64_t counter = p.performanceCounter();
  random().reseed(static_cast<std::uint32_t>(counter != 0 ? counter : p.tickCount()));
  const int centreX = p.screenWidth() / 2;
  const int centreY = p.screenHeight() / 2;
  state_.posX = centreX;
  state_.posY = centreY;
  Form->setLeft(centreX);
  Form->setTop(centreY);
  PickMove(true);
  Opacity = 255;
  DrawFrame();
}

void TFlyForm::FlyTimer() {
  ++busy_;
  struct Done {
    TFlyForm* fly;
    ~Done() {
      if (--fly->busy_ == 0 && fly->orphaned_) delete fly;
    }
  } done{this};
  flyTick(state_, *this);
}

void TFlyForm::DrawFrame() {
  if (!Form) return;
  ui::Platform& p = ui::platform();
  const ui::WindowId window = Form->handle();

  if (p.setWindowExStyle(window, p.windowExStyle(window) | ui::kWsExLayered) == 0) {
    ui::application->reportOnce(p.lastErrorText(), ui::MessageKind::Plain);
    if (!Form) return;
  }

  FlyUnit& u = flyUnit();
  const auto resource = p.findResource(state_.spriteName);
  if (!resource) throw Error("The png image could not be loaded from the resource ID.");
  u.SpriteImage.decode(*resource);
  const PngImage& sprite = u.SpriteImage;

  u.FrameBitmap->setSize(sprite.width(), sprite.height());
  const BitmapView pixels = u.FrameBitmap->pixels();
  copyColours(sprite, pixels);
  if (sprite.hasAlpha()) copyAlpha(pixels, sprite);
  premultiply(pixels);

  const int x = Form->left();
  const int y = Form->top();
  const ui::BlendFunction blend{0, 0, Opacity, 1};
  Form->setWidth(sprite.width());
  Form->setHeight(sprite.height());

  const ui::DrawContext dc = p.acquireDrawContext(*u.FrameBitmap);
  ScreenDC = dc.screenDC;
  MemDC = dc.memDC;
  OldBitmap = dc.oldBitmap;
  if (!p.updateLayeredWindow(window, dc, x, y, sprite.width(), sprite.height(), blend)) {
    ui::application->reportOnce("No!!!!!", ui::MessageKind::Plain);
  }
  p.releaseDrawContext(dc);
}

void TFlyForm::SetOnTop(bool onTop) {
  ui::Platform& p = ui::platform();
  p.setWindowOwner(Form->handle(), p.desktopWindow());
  p.setWindowZOrder(Form->handle(), onTop ? ui::ZOrder::Topmost : ui::ZOrder::NotTopmost);
}

void TFlyForm::FlyDblClick() {
  Form->close();
}

RandomSource& TFlyForm::random() {
  return *flyUnit().random;
}
int TFlyForm::workAreaWidth() {
  return ui::platform().workArea().width();
}
int TFlyForm::workAreaHeight() {
  return ui::platform().workArea().height();
}
void TFlyForm::setTimerInterval(int ms) {
  Timer->setInterval(ms);
}
void TFlyForm::setTimerEnabled(bool enabled) {
  Timer->setEnabled(enabled);
}
void TFlyForm::setWindowLeft(int left) {
  Form->setLeft(left);
}
void TFlyForm::setWindowTop(int top) {
  Form->setTop(top);
}

}  // namespace zin
