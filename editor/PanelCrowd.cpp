#include "editor/PanelCrowd.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "editor/EffectEditor.h"
#include "editor/HelpPane.h"
#include "model/ParameterTable.h"
#include "plugin/EffectVST.h"

namespace {

// Figure frames of the selected person's animation, one per phase.
constexpr int kFrameTable[32] = {1, 1, 2, 2, 3, 3, 2, 2, 1, 1, 2, 3, 2, 1, 2, 3,
                                 3, 2, 2, 3, 3, 3, 2, 1, 1, 1, 2, 2, 3, 3, 2, 1};
constexpr int kFigureWidth = 23;
constexpr int kFigureHeight = 19;

// The person fields shown horizontally and vertically in each axis mode.
constexpr int kAxisSlots[3][2] = {
    {slotPan, slotPitchShift}, {slotPan, slotDelayTime}, {slotDelayTime, slotPitchShift}};

}  // namespace

PanelCrowd::PanelCrowd(const CRect& r, EffectEditor* e, int t, std::shared_ptr<CBitmap> bitmap)
    : CControl(r, e, t, std::move(bitmap)),
      editor(e),
      cache(std::make_unique<CBitmap>(r.width(), r.height())),
      help(std::make_unique<HelpPane>(r, editor, this)) {
    cache->fill(kBlackCColor);
}

PanelCrowd::PanelCrowd(const PanelCrowd& o)
    : CControl(o),
      rebuild(1.0f),
      mode(o.mode),
      editor(o.editor),
      cache(std::make_unique<CBitmap>(o.size.width(), o.size.height())),
      help(std::make_unique<HelpPane>(o.size, o.editor, this)) {
    cache->fill(kBlackCColor);
}

PanelCrowd::~PanelCrowd() = default;

float PanelCrowd::personValue(int person, int slot) const {
    return editor->plugin()->getParameter(personIndex(person, slot));
}

int PanelCrowd::axisMode() const {
    COptionMenu* menu = editor ? editor->axisMenu() : nullptr;
    if (!menu)
        return 0;
    return truncateInto(menu->getValue() * 3.0f + 0.5f, 0, 2);
}

int PanelCrowd::personCount() const {
    if (!editor)
        return 0;
    return editor->lastHeardPerson() + 1;
}

CPoint PanelCrowd::personPosition(int person) const {
    if (!editor || person < 0 || person >= kNumPeople)
        return {};
    int mode = axisMode();
    float u = personValue(person, kAxisSlots[mode][0]);
    float v = personValue(person, kAxisSlots[mode][1]);
    float w = float(size.width()), h = float(size.height());
    // Values beyond 0..1 (a host or chunk can store them) keep to the edge of the field.
    return {truncateInto(u * (w - 8.0f) + 4.0f, 4, size.width() - 4),
            truncateInto((1.0f - v) * (h - 8.0f) + 4.0f, 4, size.height() - 4)};
}

void PanelCrowd::draw(CDrawContext* context) {
    if (mode == kHelpMode) {
        help->draw(context);
        drawNotice(context);
        setDirty(false);
        return;
    }
    if (editor && editor->isWindowOpen() && cache) {
        if (drawCounter++ & 1)
            phase = (phase + 1) & 31;
        int n = personCount();
        // The cached picture is kept at the frame's scale, so that it is drawn back sharp.
        const double scale = context->getScale();
        const CRect device = deviceRect(CRect(0, 0, size.width(), size.height()), scale);
        if (cache->getWidth() != device.width() || cache->getHeight() != device.height() ||
            cache->getDensity() != scale) {
            cache = std::make_unique<CBitmap>(device.width(), device.height());
            cache->setDensity(scale);
            rebuild = 1.0f;
        }
        if (rebuild != 0.0f) {
            rebuild = 0.0f;
            auto c = createBitmapContext(*cache, scale);
            if (frame && scale != 1.0)
                c->setRenditions(&frame->getRenditions());
            CRect all(0, 0, size.width(), size.height());
            if (background)
                c->drawBitmap(*background, all);
            int mode = axisMode();
            auto horizontal = editor->skin(mode == 2 ? kSkinAxisTimeRight : kSkinAxisPanRight);
            auto vertical = editor->skin(mode == 1 ? kSkinAxisTimeUp : kSkinAxisSpectraUp);
            if (horizontal)
                c->drawBitmap(*horizontal,
                              CRect(24, 254, 24 + horizontal->getWidth(), 254 + horizontal->getHeight()));
            if (vertical)
                c->drawBitmap(*vertical,
                              CRect(4, 242 - vertical->getHeight(), 4 + vertical->getWidth(), 242));
            if (auto figures = editor->skin(kSkinFigures)) {
                for (int i = 0; i < n; ++i) {
                    CPoint at = personPosition(i);
                    c->drawBitmap(*figures, CRect(at.x - 12, at.y - 9, at.x - 12 + kFigureWidth,
                                                  at.y - 9 + kFigureHeight));
                }
            }
        }
        context->drawBitmap(*cache, size);

        CPoint at = personPosition(editor->selectedPerson());
        int x = size.left + at.x, y = size.top + at.y;
        if (auto ring = editor->skin(kSkinRing))
            context->drawBitmap(*ring,
                                CRect(x - 17, y - 18, x - 17 + ring->getWidth(), y - 18 + ring->getHeight()),
                                {0, 0}, 200);
        if (auto figures = editor->skin(kSkinFigures))
            context->drawBitmap(*figures, CRect(x - 12, y - 9, x - 12 + kFigureWidth, y - 9 + kFigureHeight),
                                {0, kFigureHeight * kFrameTable[phase]});
    }
    if (fade > 0) {
        --fade;
        char text[32];
        std::snprintf(text, sizeof text, "V. %s 64 bit", "3.01");
        context->setFont({"Arial", 10, true});
        context->setGlobalAlpha(float(2 * fade) / 255.0f);
        context->setFontColor(kBlackCColor);
        context->drawString(text, CRect(0, 36, 340, 52), kCenterText);
        context->setFontColor({200, 215, 255, 255});
        context->drawString(text, CRect(-2, 34, 338, 50), kCenterText);
        context->setGlobalAlpha(1.0f);
    }
    drawNotice(context);
    setDirty(false);
}

void PanelCrowd::showNotice(const std::string& text) {
    noticeText = text;
    noticeLeft = text.empty() ? 0 : kNoticeRedraws;
    setDirty();
}

void PanelCrowd::drawNotice(CDrawContext* context) {
    if (noticeLeft <= 0)
        return;
    --noticeLeft;
    // Fully shown, then fading over the last 32 redraws.
    const float alpha = std::min(1.0f, float(noticeLeft) / 32.0f);
    const CFontDesc font{"Arial", 10, true};
    context->setFont(font);
    const int width = std::min(context->getStringWidth(noticeText) + 16, size.width() - 8);
    const int left = size.left + (size.width() - width) / 2;
    const CRect box(left, size.top + 120, left + width, size.top + 142);
    context->setGlobalAlpha(alpha * 0.85f);
    context->setFillColor({0, 0, 0, 255});
    context->fillRect(box);
    context->setGlobalAlpha(alpha);
    context->setFontColor({255, 255, 155, 255});
    context->drawString(noticeText, box, kCenterText);
    context->setGlobalAlpha(1.0f);
    if (noticeLeft == 0)
        noticeText.clear();
}

void PanelCrowd::announceDrag(bool begin) {
    if (!editor || !editor->plugin())
        return;
    for (int& index : dragIndices) {
        if (index < 0)
            continue;
        if (begin)
            editor->plugin()->beginEdit(index);
        else
            editor->plugin()->endEdit(index);
    }
    if (!begin)
        dragIndices[0] = dragIndices[1] = -1;
}

void PanelCrowd::moveDragged(CPoint where) {
    if (dragged < 0 || !editor)
        return;
    float w = float(size.width()), h = float(size.height());
    float u = std::clamp((float(where.x) - 4.0f) / (w - 8.0f), 0.0f, 1.0f);
    float v = std::clamp(1.0f - (float(where.y) - 4.0f) / (h - 8.0f), 0.0f, 1.0f);
    int mode = axisMode();
    const float values[2] = {u, v};
    // Automated changes, as a dial's: stored, heard, told to the host and shown on the dials.
    for (int a = 0; a < 2; ++a)
        editor->plugin()->setParameterAutomated(personIndex(dragged, kAxisSlots[mode][a]), values[a]);
    rebuild = 1.0f;
}

CMouseResult PanelCrowd::onMouseDown(CPoint where, int buttons) {
    if (!(buttons & (kLButton | kRButton)))
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    beginEdit();
    if (mode == kHelpMode) {
        help->onMouseDown({where.x - size.left, where.y - size.top}, buttons);
        setDirty();
        return kMouseHandled;
    }
    CPoint local{where.x - size.left, where.y - size.top};
    int best = 200;
    int hit = -1;
    int n = personCount();
    for (int i = 0; i < n; ++i) {
        CPoint at = personPosition(i);
        int d = (local.y - at.y) * (local.y - at.y) + (local.x - at.x) * (local.x - at.x);
        if (d < 180 && d < best) {
            best = d;
            hit = i;
            grab = {at.x - local.x, at.y - local.y};
        }
    }
    dragged = hit;
    if (hit < 0)
        return kMouseHandled;
    if (hit != editor->selectedPerson()) {
        // Selecting by clicking is not an automation the host hears of.
        editor->plugin()->setParameter(parPersonSelectedIndex, param::personValue(hit));
    }
    // The host hears of the gesture on the two values the drag automates.
    const int mode = axisMode();
    dragIndices[0] = personIndex(hit, kAxisSlots[mode][0]);
    dragIndices[1] = personIndex(hit, kAxisSlots[mode][1]);
    announceDrag(true);
    moveDragged({local.x + grab.x, local.y + grab.y});
    return kMouseHandled;
}

CMouseResult PanelCrowd::onMouseMoved(CPoint where, int buttons) {
    if (!(buttons & (kLButton | kRButton)))
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    if (mode == kHelpMode) {
        help->onMouseMoved({where.x - size.left, where.y - size.top}, buttons);
        setDirty();
    } else if (dragged >= 0) {
        moveDragged({where.x - size.left + grab.x, where.y - size.top + grab.y});
    }
    return kMouseHandled;
}

CMouseResult PanelCrowd::onMouseUp(CPoint, int) {
    help->onMouseUp();
    dragged = -1;
    announceDrag(false);
    if (isEditing())
        endEdit();
    return kMouseHandled;
}

int PanelCrowd::notify(CView*, const char* message) {
    if (std::strcmp(message, kMsgTimer) != 0)
        return 0;
    help->timerTick();
    setDirty();
    return 1;
}

bool PanelCrowd::isTypeOf(const char* name) const {
    return std::strcmp(name, "PanelCrowd") == 0 || CControl::isTypeOf(name);
}
