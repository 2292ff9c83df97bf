// The LV2 UI: the plug-in's own editor, reached through instance-access and embedded in the
// host's window (or in a window of its own for hosts that only show and hide). Edits go to the
// host as port writes between touch begin and end.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <lv2/atom/atom.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <bit>
#include <cstring>

#include "lv2/Lv2Instance.h"

namespace lv2face {
namespace {

const void* feature(const LV2_Feature* const* features, const char* uri) {
    for (int i = 0; features != nullptr && features[i] != nullptr; ++i) {
        if (std::strcmp(features[i]->URI, uri) == 0) {
            return features[i]->data;
        }
    }
    return nullptr;
}

// Counts the X errors of the requests made while it lives, instead of the default handler's
// exit, which would take the host down with a bad parent window.
class ErrorTrap {
  public:
    explicit ErrorTrap(Display* display) : display_(display) {
        XSync(display_, False);
        errors_ = 0;
        previous_ = XSetErrorHandler(&ErrorTrap::count);
    }
    ~ErrorTrap() { release(); }
    // True when no request since the trap was set failed.
    bool clean() {
        XSync(display_, False);
        return errors_ == 0;
    }
    void release() {
        if (display_ != nullptr) {
            XSync(display_, False);
            const XErrorHandler current = XSetErrorHandler(previous_);
            if (current != &ErrorTrap::count) {
                XSetErrorHandler(current);  // someone else's came after ours: left in place
            }
            display_ = nullptr;
        }
    }

  private:
    static int count(Display*, XErrorEvent*) {
        ++errors_;
        return 0;
    }
    static inline int errors_ = 0;
    Display* display_;
    XErrorHandler previous_ = nullptr;
};

class Ui : public UiSink {
  public:
    Ui(Instance& dsp, LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch,
       const LV2UI_Resize* resize)
        : dsp_(dsp), write_(write), controller_(controller), touch_(touch), resize_(resize) {
        // Until the host tells us its ports, we take them to hold the plug-in's values.
        for (int k = 0; k < kControlPorts; ++k) {
            hostValue_[k] = dsp_.host().getParameter(kPortParameter[static_cast<std::size_t>(k)]);
        }
        dsp_.setUi(this);
    }

    ~Ui() override {
        closeWindow();
        dsp_.clearUi(this);
    }

    // Opens the editor inside the host's window, in a window of our own between the two: hosts'
    // toolkits may give a parent of another visual than the screen's, inside which the editor's
    // window could not be made. Ours has the screen's visual and is the widget.
    bool embed(Window parent, LV2UI_Widget* widget) {
        display_ = XOpenDisplay(nullptr);
        if (display_ == nullptr) {
            return false;
        }
        int width = 0, height = 0;
        dsp_.host().editorSize(width, height);
        const int screen = DefaultScreen(display_);
        Visual* visual = DefaultVisual(display_, screen);
        ErrorTrap trap(display_);
        XSetWindowAttributes attributes{};
        attributes.colormap = XCreateColormap(display_, RootWindow(display_, screen), visual, AllocNone);
        colormap_ = attributes.colormap;
        window_ = XCreateWindow(display_, parent, 0, 0, static_cast<unsigned>(width),
                                static_cast<unsigned>(height), 0, DefaultDepth(display_, screen), InputOutput,
                                visual, CWColormap | CWBorderPixel | CWBackPixel, &attributes);
        XMapWindow(display_, window_);
        if (!trap.clean()) {
            trap.release();
            closeWindow();
            return false;
        }
        trap.release();
        if (!dsp_.host().openEditor(reinterpret_cast<void*>(window_))) {
            closeWindow();
            return false;
        }
        *widget = reinterpret_cast<LV2UI_Widget>(window_);
        if (resize_ != nullptr) {
            resize_->ui_resize(resize_->handle, width, height);
        }
        return true;
    }

    bool resized(int width, int height) override {
        if (display_ != nullptr && window_ != 0) {
            XResizeWindow(display_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
            XFlush(display_);
        }
        return resize_ != nullptr && resize_->ui_resize(resize_->handle, width, height) == 0;
    }

    void portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer) {
        if (format == 0 && size == sizeof(float) && port >= kFirstControlPort && port < kPortCount) {
            // The editor follows through the plug-in, which is given the value at the next block.
            std::memcpy(&hostValue_[port - kFirstControlPort], buffer, sizeof(float));
        }
    }

    int idle() {
        if (dsp_.takeDisplayChange()) {
            sendChangedValues();
        }
        dsp_.host().idleEditor();
        if (display_ != nullptr) {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == ClientMessage &&
                    static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow_) {
                    closed_ = true;
                }
            }
        }
        return closed_ ? 1 : 0;
    }

    // A window of our own holding the editor, for hosts that do not embed.
    int show() {
        if (display_ != nullptr) {
            return 0;
        }
        display_ = XOpenDisplay(nullptr);
        if (display_ == nullptr) {
            return 1;
        }
        int width = 0, height = 0;
        dsp_.host().editorSize(width, height);
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0,
                                      static_cast<unsigned>(width), static_cast<unsigned>(height), 0, 0, 0);
        XStoreName(display_, window_, "Zornbeck");
        deleteWindow_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(display_, window_, &deleteWindow_, 1);
        XSizeHints hints{};
        hints.flags = PMinSize | PMaxSize;
        hints.min_width = hints.max_width = width;
        hints.min_height = hints.max_height = height;
        XSetWMNormalHints(display_, window_, &hints);
        XMapWindow(display_, window_);
        XSync(display_, False);
        closed_ = false;
        if (!dsp_.host().openEditor(reinterpret_cast<void*>(window_))) {
            closeWindow();
            return 1;
        }
        shown_ = true;
        return 0;
    }

    int hide() {
        if (shown_) {
            closeWindow();
            shown_ = false;
        }
        return 0;
    }

    // UiSink, on the user-interface thread while the editor runs its idle work.
    void edited(int index, float value) override {
        const int k = controlPortOf(index);
        if (k >= 0) {
            hostValue_[k] = value;
            write_(controller_, static_cast<std::uint32_t>(kFirstControlPort + k), sizeof value, 0, &value);
        }
    }

    void touch(int index, bool grabbed) override {
        const int k = controlPortOf(index);
        if (k >= 0 && touch_ != nullptr) {
            touch_->touch(touch_->handle, static_cast<std::uint32_t>(kFirstControlPort + k), grabbed);
        }
    }

  private:
    void closeWindow() {
        dsp_.host().closeEditor();
        if (display_ == nullptr) {
            return;
        }
        if (window_ != 0) {
            XDestroyWindow(display_, window_);
        }
        if (colormap_ != 0) {
            XFreeColormap(display_, colormap_);
        }
        XCloseDisplay(display_);
        display_ = nullptr;
        window_ = 0;
        colormap_ = 0;
    }

    // After a program or a chunk, the host learns every value that is not what it holds.
    void sendChangedValues() {
        for (int k = 0; k < kControlPorts; ++k) {
            const float value = dsp_.host().getParameter(kPortParameter[static_cast<std::size_t>(k)]);
            if (std::bit_cast<std::uint32_t>(value) != std::bit_cast<std::uint32_t>(hostValue_[k])) {
                hostValue_[k] = value;
                write_(controller_, static_cast<std::uint32_t>(kFirstControlPort + k), sizeof value, 0,
                       &value);
            }
        }
    }

    Instance& dsp_;
    LV2UI_Write_Function write_;
    LV2UI_Controller controller_;
    const LV2UI_Touch* touch_;
    const LV2UI_Resize* resize_;
    float hostValue_[kControlPorts] = {};
    Display* display_ = nullptr;
    // Ours: the window between the host's and the editor's, or the one shown on its own.
    Window window_ = 0;
    Colormap colormap_ = 0;
    Atom deleteWindow_ = 0;
    bool shown_ = false;   // through the show interface, not embedded
    bool closed_ = false;  // the user closed the shown window
};

// The host's ui:scaleFactor option, or 0 when it gives none.
double hostScale(const LV2_Feature* const* features) {
    const auto* map = static_cast<const LV2_URID_Map*>(feature(features, LV2_URID__map));
    const auto* options = static_cast<const LV2_Options_Option*>(feature(features, LV2_OPTIONS__options));
    if (map == nullptr || options == nullptr) {
        return 0.0;
    }
    const LV2_URID key = map->map(map->handle, LV2_UI__scaleFactor);
    const LV2_URID floatType = map->map(map->handle, LV2_ATOM__Float);
    for (const LV2_Options_Option* o = options; o->key != 0 || o->value != nullptr; ++o) {
        if (o->key == key && o->type == floatType && o->size == sizeof(float) && o->value != nullptr) {
            float value = 0.0f;
            std::memcpy(&value, o->value, sizeof value);
            return value;
        }
    }
    return 0.0;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) {
    auto* dsp = static_cast<Instance*>(const_cast<void*>(feature(features, LV2_INSTANCE_ACCESS_URI)));
    if (dsp == nullptr || write == nullptr || pluginUri == nullptr ||
        std::strcmp(pluginUri, kPluginUri) != 0) {
        return nullptr;
    }
    *widget = nullptr;
    try {
        auto* ui =
            new Ui(*dsp, write, controller, static_cast<const LV2UI_Touch*>(feature(features, LV2_UI__touch)),
                   static_cast<const LV2UI_Resize*>(feature(features, LV2_UI__resize)));
        const double scale = hostScale(features);
        if (scale > 0.0) {
            dsp->host().setEditorScale(scale);
        }
        const void* parent = feature(features, LV2_UI__parent);
        if (parent != nullptr && !ui->embed(reinterpret_cast<Window>(parent), widget)) {
            delete ui;
            return nullptr;
        }
        return ui;
    } catch (...) {
        return nullptr;
    }
}

Ui* self(LV2UI_Handle handle) {
    return static_cast<Ui*>(handle);
}

void cleanup(LV2UI_Handle handle) {
    delete self(handle);
}

void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    self(handle)->portEvent(port, size, format, buffer);
}

int idle(LV2UI_Handle handle) {
    return self(handle)->idle();
}

int show(LV2UI_Handle handle) {
    return self(handle)->show();
}

int hide(LV2UI_Handle handle) {
    return self(handle)->hide();
}

const LV2UI_Idle_Interface kIdle = {idle};
const LV2UI_Show_Interface kShow = {show, hide};

const void* extensionData(const char* uri) {
    if (std::strcmp(uri, LV2_UI__idleInterface) == 0) {
        return &kIdle;
    }
    if (std::strcmp(uri, LV2_UI__showInterface) == 0) {
        return &kShow;
    }
    return nullptr;
}

const LV2UI_Descriptor kDescriptor = {kUiUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace
}  // namespace lv2face

extern "C" __attribute__((visibility("default"))) const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &lv2face::kDescriptor : nullptr;
}
