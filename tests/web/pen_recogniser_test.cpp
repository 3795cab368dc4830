// The recogniser's pen path: where the surface takes a pen's samples, a pen's
// hover, touch and leaving reach it as they are and drive no gesture; touch and
// a pen the desktop does not take keep the gestures.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/PointerRecogniser.h"

namespace {

using Lines = std::vector<std::string>;

class CPenRig : public ISurfaceInput, public CPointerRecogniser::IHost {
public:
    CPenRig() : input(*this) {
        input.SetTarget(this);
        input.SetGeometry(360, 640, {0, 40});
    }

    void OnPenDown(PvPoint p) override { Add("down", p); }
    void OnPenMove(PvPoint p) override { Add("move", p); }
    void OnPenUp(PvPoint p) override { Add("up", p); }
    void OnDoubleTap(PvPoint p) override { Add("double", p); }
    void OnTapAndHold(PvPoint p) override { Add("hold", p); }
    void OnKeyDown(unsigned, unsigned) override {}
    void OnKeyUp(unsigned, unsigned) override {}
    void OnTimer(int) override {}
    void OnPaint() override {}
    void OnSize(int, int) override {}
    bool OnCommand(int) override { return false; }
    bool TakesPenSamples() const override { return takes; }
    void OnPenSample(const PvPenSample& s) override {
        const char* phase = s.phase == PvPenSample::Phase::Touch   ? "touch"
                            : s.phase == PvPenSample::Phase::Hover ? "hover"
                                                                   : "out";
        lines.push_back(std::string("pen ") + phase + " " + std::to_string(s.client.x) + "," +
                        std::to_string(s.client.y) + " raw " + std::to_string(s.raw.x) + "," +
                        std::to_string(s.raw.y) + " " + std::to_string(s.pressure) + " " + std::to_string(s.tiltX) +
                        " " + std::to_string(s.tiltY) + " b" + std::to_string(s.buttons));
    }
    void StartHold(int) override {}
    void StopHold() override {}

    void Add(const char* kind, PvPoint p) {
        lines.push_back(std::string(kind) + " " + std::to_string(p.x) + "," + std::to_string(p.y));
    }
    Lines Take() { return std::exchange(lines, {}); }

    static PvPointerSample Pen(double x, double y, double pressure = 0, double tiltX = 0, double tiltY = 0,
                               unsigned buttons = 0, int id = 7) {
        PvPointerSample sample;
        sample.x = x;
        sample.y = y;
        sample.kind = PvPointerKind::Pen;
        sample.id = id;
        sample.pressure = pressure;
        sample.tiltX = tiltX;
        sample.tiltY = tiltY;
        sample.buttons = buttons;
        return sample;
    }

    bool takes = true;
    Lines lines;
    CPointerRecogniser input;
};

TEST(PenPath, SamplesAsTheyComeWhereTakenAndTheGesturesElsewhere) {
    CPenRig rig;
    // 360 x 640 pixels: 4 raw units per pixel, the surface 40 pixels down.
    rig.input.Hover(CPenRig::Pen(10.7, 20.2, 0, 12.4, -5.6));
    rig.input.Down(CPenRig::Pen(11, 21, 0.25, 12, -5, 1));
    rig.input.Move(CPenRig::Pen(12, 22, 0.5, 30, -5, 1 | 2));
    rig.input.Move(CPenRig::Pen(13, 23, 1.0, 30, -5, 1 | 2 | 32));
    rig.input.Flush();
    rig.input.Up(CPenRig::Pen(13, 23, 0, 30, -5, 0));
    rig.input.Hover(CPenRig::Pen(14, 24));
    rig.input.Leave(7);
    rig.input.Leave(7);  // already out
    EXPECT_EQ(rig.Take(), (Lines{"pen hover 10,20 raw 42,240 0 12 -6 b0", "pen touch 11,21 raw 44,244 1024 12 -5 b0",
                                 "pen touch 12,22 raw 48,248 2048 30 -5 b2", "pen touch 13,23 raw 52,252 4095 30 -5 b2",
                                 "pen hover 13,23 raw 52,252 0 30 -5 b0", "pen hover 14,24 raw 56,256 0 0 0 b0",
                                 "pen out 14,24 raw 56,256 0 0 0 b0"}));

    // A pen that cannot tell its pressure presses at half; the system taking it over ends its range.
    rig.input.Down(CPenRig::Pen(5, 5, -1));
    rig.input.Cancel(7);
    EXPECT_EQ(rig.Take(), (Lines{"pen touch 5,5 raw 20,180 2048 0 0 b0", "pen out 5,5 raw 20,180 0 0 0 b0"}));

    // A box takes the pen: it leaves first, and nothing of it goes out until the box closes.
    rig.input.Down(CPenRig::Pen(5, 5, 0.5));
    rig.input.BoxOpened();
    rig.input.Move(CPenRig::Pen(6, 6, 0.5));
    rig.input.Hover(CPenRig::Pen(6, 6));
    rig.input.BoxClosed(false);
    rig.input.Hover(CPenRig::Pen(7, 7));
    EXPECT_EQ(rig.Take(), (Lines{"pen touch 5,5 raw 20,180 2048 0 0 b0", "pen out 5,5 raw 20,180 0 0 0 b0",
                                 "pen hover 7,7 raw 28,188 0 0 0 b0"}));
    rig.input.Leave(7);
    rig.Take();

    // A finger keeps the gestures (once the pen has been away for its grace), and so does a
    // pen where the desktop takes no samples, which sends none, hovering or not.
    PvPointerSample finger = CPenRig::Pen(50, 50);
    finger.kind = PvPointerKind::Touch;
    finger.id = 1;
    finger.timeMs = 2 * pv::gesture::kPenGraceMs;
    rig.input.PenGone(0);
    rig.input.Down(finger);
    rig.input.Up(finger);
    rig.takes = false;
    rig.input.Hover(CPenRig::Pen(60, 60));
    rig.input.Down(CPenRig::Pen(70, 70, 0.5));
    rig.input.Up(CPenRig::Pen(70, 70, 0.5));
    rig.input.Leave(7);
    EXPECT_EQ(rig.Take(), (Lines{"down 50,50", "up 50,50", "down 70,70", "up 70,70"}));

    // A stroke keeps the way it began when the desktop's answer changes under it.
    rig.input.Down(CPenRig::Pen(80, 80, 0.5));
    rig.takes = true;
    rig.input.Move(CPenRig::Pen(90, 80, 0.5));
    rig.input.Up(CPenRig::Pen(90, 80, 0.5));
    rig.input.Down(CPenRig::Pen(100, 80, 0.5));
    rig.takes = false;
    rig.input.Move(CPenRig::Pen(110, 80, 0.5));
    rig.input.Up(CPenRig::Pen(110, 80, 0.5));
    EXPECT_EQ(rig.Take(), (Lines{"down 80,80", "move 90,80", "up 90,80", "pen touch 100,80 raw 400,480 2048 0 0 b0",
                                 "pen touch 110,80 raw 440,480 2048 0 0 b0", "pen hover 110,80 raw 440,480 0 0 0 b0"}));
}

}  // namespace
