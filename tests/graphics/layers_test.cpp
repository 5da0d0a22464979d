#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "graphics/rx32_layers.h"

using namespace strandel;

namespace {

struct FakeOwner : ILayerOwner
{
    TCursor cursor = 99;
    TCursor OwnerCursor() const override { return 42; }
    void SetScreenCursor(TCursor c) override { cursor = c; }
};

TPositionedLayer *Positioned(TLayerCollection &c, TFloatRect where)
{
    auto *l = c.Add<TPositionedLayer>();
    l->SetLocation(where);
    return l;
}

} // namespace

TEST(Layers, CollectionNotifications)
{
    TLayerCollection c;
    std::string log;
    c.OnChanging = [&](TLayerCollection *) { log += '<'; };
    c.OnChange = [&](TLayerCollection *) { log += '>'; };
    c.OnGDIUpdate = [&](TLayerCollection *) { log += 'g'; };
    auto *a = c.Add<TPositionedLayer>();
    EXPECT_EQ(log, "<>");
    c.BeginUpdate();
    c.GDIUpdate(); // held back while updating
    a->SetLocation(FloatRect(1, 1, 2, 2));
    c.EndUpdate();
    EXPECT_EQ(log, "<><<>>");
    EXPECT_THROW(c.EndUpdate(), EAssertionFailed);
    EXPECT_EQ(c.UpdateCount(), 0);

    // Invisible overlays only ask for a GDI update; no-update layers stay silent.
    log.clear();
    a->SetLayerOptions(LayerOptGdiOverlay);
    log.clear();
    a->Changed();
    EXPECT_EQ(log, "g");
    a->SetLayerOptions(LayerOptVisible | LayerOptNoUpdate);
    log.clear();
    a->Changed();
    EXPECT_EQ(log, "");
}

TEST(Layers, IndexClampsAndLayersLeave)
{
    TLayerCollection c;
    auto *a = c.Add<TCustomLayer>();
    auto *b = c.Add<TCustomLayer>();
    auto *d = c.Add<TCustomLayer>();
    d->SetIndex(-5);
    EXPECT_EQ(c.Items(0), d);
    d->SetIndex(c.Count() + 5);
    EXPECT_EQ(c.Items(2), d);
    a->BringToFront();
    EXPECT_EQ(c.Items(2), a);
    a->SendToBack();
    EXPECT_EQ(c.Items(0), a);
    delete b; // a layer freed directly leaves its collection
    EXPECT_EQ(c.Count(), 2);
    TLayerCollection other;
    a->SetLayerCollection(&other);
    EXPECT_EQ(c.Count(), 1);
    EXPECT_EQ(other.Items(0), a);
    c.Delete(0);
    EXPECT_EQ(c.Count(), 0);
    TCustomLayer loose(nullptr);
    EXPECT_EQ(loose.Index(), -1);
}

TEST(Layers, MouseRoutingAndCapture)
{
    FakeOwner owner;
    TLayerCollection c(&owner);
    auto *low = Positioned(c, FloatRect(0, 0, 50, 50));
    auto *high = Positioned(c, FloatRect(20, 20, 70, 70));
    std::vector<std::string> log;
    for (auto [layer, name] : {std::pair{low, "low"}, std::pair{high, "high"}}) {
        layer->OnMouseDown = [&, name = name](TCustomLayer *, TMouseButton, TShiftState, int32_t, int32_t) {
            log.push_back(std::string("down ") + name);
        };
        layer->OnMouseMove = [&, name = name](TCustomLayer *, TShiftState, int32_t, int32_t) {
            log.push_back(std::string("move ") + name);
        };
    }
    // The higher index wins an overlap; a left press captures.
    EXPECT_EQ(c.MouseDown(mbLeft, 0, 30, 30), high);
    EXPECT_EQ(c.MouseListener(), high);
    EXPECT_EQ(c.MouseMove(0, 5, 5), high); // captured: goes to the listener
    c.MouseDown(mbRight, 0, 5, 5);
    EXPECT_EQ(c.MouseListener(), high);
    c.MouseUp(mbLeft, 0, 5, 5);
    EXPECT_EQ(c.MouseListener(), high); // the right button is still down
    c.MouseUp(mbRight, 0, 5, 5);
    EXPECT_EQ(c.MouseListener(), nullptr);
    EXPECT_EQ(c.MouseMove(0, 5, 5), low);
    EXPECT_EQ(log, (std::vector<std::string>{"down high", "move high", "down high", "move low"}));

    // The right and middle buttons never change the listener.
    c.MouseDown(mbRight, 0, 5, 5);
    c.MouseDown(mbMiddle, 0, 5, 5);
    EXPECT_EQ(c.MouseListener(), nullptr);

    // No capture: the layer gets its press but does not become the listener.
    high->SetLayerOptions(high->LayerOptions() | LayerOptNoCapture);
    log.clear();
    EXPECT_EQ(c.MouseDown(mbLeft, 0, 30, 30), high);
    EXPECT_EQ(c.MouseListener(), nullptr);
    EXPECT_EQ(log, std::vector<std::string>{"down high"});

    // Nothing under the mouse: the owner's cursor.
    c.MouseMove(0, 500, 500);
    EXPECT_EQ(owner.cursor, 42);
    high->SetCursor(7);
    high->SetAsMouseListener();
    EXPECT_EQ(owner.cursor, 7);
    c.SetMouseEvents(false);
    EXPECT_EQ(c.MouseListener(), nullptr);
}

TEST(Layers, ScaledLocationAndHitTest)
{
    TCoordTransform t;
    t.ScaleX = 2 * FixedOne;
    t.ScaleY = FixedOne / 2;
    t.ShiftX = 10;
    TLayerCollection c(nullptr, &t);
    auto *l = Positioned(c, FloatRect(0, 0, 10, 10));
    EXPECT_TRUE(l->HitTest(9, 9));
    l->SetScaled(true);
    EXPECT_EQ(l->GetAdjustedLocation(), FloatRect(10, 0, 30, 5));
    EXPECT_FALSE(l->HitTest(9, 2));
    EXPECT_TRUE(l->HitTest(29, 4));
    EXPECT_FALSE(l->HitTest(30, 4));
    l->OnHitTest = [](TCustomLayer *, int32_t, int32_t, bool &passed) { passed = !passed; };
    EXPECT_TRUE(l->HitTest(30, 4));
}

TEST(Layers, BitmapLayerPaintsAndTestsAlpha)
{
    TLayerCollection c;
    auto *l = c.Add<TBitmapLayer>();
    int changes = 0;
    c.OnChange = [&](TLayerCollection *) { ++changes; };
    l->Bitmap().SetSize(2, 1);
    l->Bitmap().Bits()[0] = 0xFF112233;
    l->Bitmap().Bits()[1] = 0x00FFFFFF;
    l->Bitmap().Changed();
    EXPECT_GE(changes, 1);
    l->SetLocation(FloatRect(0, 0, 4, 2));
    l->AlphaHitTest = true;
    EXPECT_TRUE(l->HitTest(0, 0));
    EXPECT_FALSE(l->HitTest(3, 1));

    TBitmap32 buffer;
    buffer.SetSize(4, 2);
    l->DoPaint(&buffer);
    EXPECT_EQ(buffer.GetPixel(1, 1), 0xFF112233u);
    EXPECT_EQ(buffer.GetPixel(3, 0), 0x00FFFFFFu);
}

TEST(Layers, RubberbandDragStates)
{
    TLayerCollection c;
    auto *band = c.Add<TRubberbandLayer>();
    band->SetLocation(FloatRect(10, 10, 100, 60));
    struct Case { int32_t x, y; TDragState state; };
    const Case cases[] = {{99, 59, dsSizeBR}, {55, 10, dsSizeT},  {50, 30, dsMove},  {200, 200, dsNone},
                          {10, 10, dsSizeTL}, {99, 10, dsSizeTR}, {10, 59, dsSizeBL}, {10, 34, dsSizeL},
                          {99, 34, dsSizeR},  {54, 59, dsSizeB}};
    for (const Case &k : cases)
        EXPECT_EQ(band->GetDragState(k.x, k.y), k.state) << k.x << "," << k.y;
    band->SetHandles(1u << rhCenter);
    EXPECT_EQ(band->GetDragState(99, 59), dsMove);
    band->SetHandleSize(-3);
    EXPECT_EQ(band->HandleSize(), 1);
}

TEST(Layers, RubberbandDragging)
{
    FakeOwner owner;
    TLayerCollection c(&owner);
    auto *band = c.Add<TRubberbandLayer>();
    band->SetLocation(FloatRect(0, 0, 20, 20));
    int userChanges = 0;
    band->OnUserChange = [&](TCustomLayer *) { ++userChanges; };

    // The left edge dragged by +15 stops at the minimum width.
    c.MouseDown(mbLeft, 0, 0, 10);
    EXPECT_EQ(band->DragState(), dsSizeL);
    c.MouseMove(0, 15, 10);
    EXPECT_EQ(band->Location(), FloatRect(10, 0, 20, 20));
    c.MouseUp(mbLeft, 0, 15, 10);
    EXPECT_FALSE(band->Dragging());
    EXPECT_EQ(userChanges, 1);

    // A move keeps the grip point; the resizing event may change the result.
    band->SetLocation(FloatRect(0, 0, 40, 40));
    c.MouseDown(mbLeft, 0, 20, 20);
    EXPECT_EQ(band->DragState(), dsMove);
    band->OnResizing = [](TCustomLayer *, const TFloatRect &, TFloatRect &n, TDragState, TShiftState) {
        n.Top = 0;
        n.Bottom = 40;
    };
    c.MouseMove(0, 25, 27);
    EXPECT_EQ(band->Location(), FloatRect(5, 0, 45, 40));
    c.MouseUp(mbLeft, 0, 25, 27);

    // Hover cursors by state.
    band->OnResizing = nullptr;
    c.MouseMove(0, 44, 39);
    EXPECT_EQ(owner.cursor, crSizeNWSE);
    c.MouseMove(0, 25, 0);
    EXPECT_EQ(owner.cursor, crSizeNS);

    // Maximum width.
    band->MaxWidth = 50;
    c.MouseDown(mbLeft, 0, 44, 20);
    c.MouseMove(0, 200, 20);
    EXPECT_EQ(band->Location().Right - band->Location().Left, 50.0f);
    c.MouseUp(mbLeft, 0, 200, 20);
}

TEST(Layers, RubberbandChildLifetime)
{
    TLayerCollection c;
    auto *child = Positioned(c, FloatRect(1, 2, 30, 40));
    auto *band = c.Add<TRubberbandLayer>();
    band->SetChildLayer(child);
    EXPECT_EQ(band->Location(), child->Location());
    EXPECT_TRUE(band->LayerOptions() & LayerOptNoUpdate);
    band->SetLocation(FloatRect(5, 5, 25, 25));
    EXPECT_EQ(child->Location(), FloatRect(5, 5, 25, 25));

    delete child; // the band hears of it and lets go
    EXPECT_EQ(band->ChildLayer(), nullptr);
    EXPECT_FALSE(band->LayerOptions() & LayerOptNoUpdate);
    band->SetLocation(FloatRect(0, 0, 10, 10)); // no freed child is touched

    // And the other way round: a freed band leaves no pointer in its child.
    auto *child2 = Positioned(c, FloatRect(0, 0, 5, 5));
    band->SetChildLayer(child2);
    delete band;
    child2->SetLocation(FloatRect(1, 1, 2, 2));
    delete child2;
    EXPECT_EQ(c.Count(), 0);
}

TEST(Layers, RubberbandPaint)
{
    TLayerCollection c;
    auto *band = c.Add<TRubberbandLayer>();
    band->SetLocation(FloatRect(2, 2, 10, 10));
    band->SetHandles(1u << rhFrame);
    TBitmap32 buffer;
    buffer.SetSize(12, 12);
    band->DoPaint(&buffer);
    // The stippled frame: white, white, black, black from the top-left corner.
    const TColor32 top[6] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000, 0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(buffer.GetPixel(2 + i, 2), top[i]) << i;
    EXPECT_EQ(buffer.GetPixel(6, 5), 0u); // inside untouched

    band->SetHandles(1u << rhCorners);
    band->SetHandleFill(0xFF00FF00);
    band->SetHandleFrame(0xFF0000FF);
    band->SetHandleSize(2);
    buffer.Clear(0);
    band->DoPaint(&buffer);
    EXPECT_EQ(buffer.GetPixel(2, 2), 0xFF00FF00u); // corner handle (0, 0, 4, 4): filled inside
    EXPECT_EQ(buffer.GetPixel(0, 0), 0xFF0000FFu); // and framed
    EXPECT_EQ(buffer.GetPixel(11, 11), 0xFF0000FFu);
    EXPECT_EQ(buffer.GetPixel(6, 2), 0u);
}

TEST(Layers, AssignFailsWithoutLosingLayers)
{
    TLayerCollection a, b;
    a.Add<TBitmapLayer>();
    a.Add<TPositionedLayer>();
    auto *keep = b.Add<TPositionedLayer>();
    EXPECT_THROW(b.Assign(&a), EConvertError);
    ASSERT_EQ(b.Count(), 1);
    EXPECT_EQ(b.Items(0), keep);
    TLayerCollection empty;
    b.Assign(&empty); // nothing to copy: the layers go
    EXPECT_EQ(b.Count(), 0);
    TPersistent other;
    EXPECT_THROW(b.Assign(&other), EConvertError);
}
