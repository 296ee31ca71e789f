#include "app/qt/ScopeCanvas.h"

#include <vector>

#include <QPaintEngine>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

TScopeSamples Flat(std::uint8_t Value) {
  TScopeSamples S;
  S.fill(Value);
  return S;
}

// The picture the export saves, as a QImage of its own.
QImage Exported(const TScopeSamples& Samples, int W, int H) {
  TScopeRenderer R;
  return ScopeImage(R.ScopePaint(Samples, W, H)).copy();
}

TEST(ScopeCanvas, ImageOverThePicturesPixels) {
  // The wrapper copies nothing: the very pixels, in Qt's RGB32 layout.
  TPixelImage Picture(3, 2, 0xFF123456u);
  Picture.SetPixel(2, 1, 0xFFABCDEFu);
  const QImage Image = ScopeImage(Picture);
  EXPECT_EQ(Image.constBits(), reinterpret_cast<const uchar*>(Picture.Bits()));
  EXPECT_EQ(Image.format(), QImage::Format_RGB32);
  EXPECT_EQ(Image.pixel(0, 0), qRgb(0x12, 0x34, 0x56));
  EXPECT_EQ(Image.pixel(2, 1), qRgb(0xAB, 0xCD, 0xEF));
  EXPECT_TRUE(ScopeImage(TPixelImage()).isNull());
}

TEST(ScopeCanvas, PaintingOntoAPainterGivesTheExportedPictureExactly) {
  // The screen is composed straight into the painter's pixels, with no bitmap
  // in between; it must be the very picture the export draws through the
  // bitmap, pixel for pixel, at every size and for every trace.
  TScopeSamples Wild;
  for (int I = 0; I < ScopeSampleCount; ++I)
    Wild[static_cast<std::size_t>(I)] = static_cast<std::uint8_t>((I * 97 + (I % 7) * 61) % 256);
  TScopeSamples Sawtooth;
  for (int I = 0; I < ScopeSampleCount; ++I)
    Sawtooth[static_cast<std::size_t>(I)] = static_cast<std::uint8_t>(I % 2 ? 0 : 255);
  const QSize Sizes[] = {{615, 284}, {1000, 700}, {1, 1},    {300, 10}, {300, 11},
                         {300, 12},  {255, 13},   {256, 37}, {17, 600}, {1920, 1080}};
  for (const QSize Size : Sizes)
    for (const TScopeSamples& Samples : {Flat(127), Flat(0), Wild, Sawtooth}) {
      SCOPED_TRACE(testing::Message() << Size.width() << "x" << Size.height());
      const QImage Expected = Exported(Samples, Size.width(), Size.height());
      // Into a larger image at an offset, as a widget's painter in its
      // window's backing store: what lies around the area stays untouched.
      TScopeCanvas R;
      QImage Target(Size + QSize(9, 5), QImage::Format_ARGB32_Premultiplied);
      Target.fill(qRgb(1, 2, 3));
      {
        QPainter P(&Target);
        P.translate(7, 3);
        R.Paint(P, Samples, Size.width(), Size.height());
      }
      ASSERT_TRUE(R.LastPaintDirect());
      ASSERT_EQ(Target.copy(QRect(QPoint(7, 3), Size)).convertToFormat(QImage::Format_RGB32),
                Expected);
      QImage Around = Target.convertToFormat(QImage::Format_RGB32);
      QPainter(&Around).fillRect(QRect(QPoint(7, 3), Size), qRgb(1, 2, 3));
      QImage Untouched(Target.size(), QImage::Format_RGB32);
      Untouched.fill(qRgb(1, 2, 3));
      ASSERT_EQ(Around, Untouched);
    }
  // A painter that scales by a whole number (a display with a device pixel
  // ratio of 2) gets the picture composed straight, each pixel a 2 x 2 block,
  // also when only the traces are redrawn; a fractional scale gets it drawn
  // as an image.
  TScopeCanvas R;
  QImage Scaled(1240, 578, QImage::Format_RGB32);
  Scaled.fill(qRgb(1, 2, 3));
  for (const TScopeSamples& Samples : {Wild, Sawtooth, Flat(127), Wild}) {
    {
      QPainter P(&Scaled);
      P.translate(3, 2);
      P.scale(2, 2);
      R.Paint(P, Samples, 615, 284, true);
    }
    EXPECT_TRUE(R.LastPaintDirect());
    EXPECT_EQ(Scaled.copy(3, 2, 1230, 568), Exported(Samples, 615, 284).scaled(1230, 568));
  }
  EXPECT_FALSE(R.LastPaintWhole());
  const QImage Expected = Exported(Wild, 615, 284);
  QImage Fractional(923, 426, QImage::Format_RGB32);
  Fractional.fill(qRgb(1, 2, 3));
  QImage Reference = Fractional.copy();
  {
    QPainter P(&Fractional);
    P.scale(1.5, 1.5);
    R.Paint(P, Wild, 615, 284, true);
    QPainter Q(&Reference);
    Q.scale(1.5, 1.5);
    Q.drawImage(QRect(0, 0, 615, 284), Expected);
  }
  EXPECT_FALSE(R.LastPaintDirect());
  EXPECT_EQ(Fractional, Reference);
}

TEST(ScopeCanvas, ARetainedTargetGetsOnlyTheTracesRedrawnAndStillTheWholePicture) {
  // A widget's backing store keeps the last picture: the next paint puts back
  // the last trace's pixels and draws the new trace. Every picture in a run
  // of different traces must still be the exported one exactly.
  std::vector<TScopeSamples> Traces = {Flat(127), Flat(0), Flat(255)};
  for (int Shift : {0, 40, 90}) {
    TScopeSamples S;
    for (int I = 0; I < ScopeSampleCount; ++I)
      S[static_cast<std::size_t>(I)] =
          static_cast<std::uint8_t>((I * (7 + Shift) + Shift * Shift + (I % 5) * 53) % 256);
    Traces.push_back(S);
  }
  TScopeCanvas R;
  QImage Target(640, 300, QImage::Format_RGB32);
  Target.fill(qRgb(1, 2, 3));
  const auto PaintAndCheck = [&](const TScopeSamples& Samples, bool ExpectWhole) {
    {
      QPainter P(&Target);
      P.translate(3, 2);
      R.Paint(P, Samples, 615, 284, true);
    }
    EXPECT_TRUE(R.LastPaintDirect());
    EXPECT_EQ(R.LastPaintWhole(), ExpectWhole);
    EXPECT_EQ(Target.copy(3, 2, 615, 284), Exported(Samples, 615, 284));
  };
  PaintAndCheck(Traces[0], true);
  for (std::size_t I = 1; I < Traces.size(); ++I) {
    SCOPED_TRACE(I);
    PaintAndCheck(Traces[I], false);
    PaintAndCheck(Traces[I - 1], false);
  }
  // The export at another size changes the prepared rows: the next paint
  // draws everything again.
  R.Renderer.ScopePaint(Traces[3], 400, 200);
  PaintAndCheck(Traces[4], true);
  // Another colour: everything again.
  R.Renderer.SetColors(0x0000FF, 0xFFFFFF, 0x000000);
  {
    QPainter P(&Target);
    P.translate(3, 2);
    R.Paint(P, Traces[5], 615, 284, true);
  }
  EXPECT_TRUE(R.LastPaintWhole());
  TScopeRenderer Red;
  Red.SetColors(0x0000FF, 0xFFFFFF, 0x000000);
  EXPECT_EQ(Target.copy(3, 2, 615, 284), ScopeImage(Red.ScopePaint(Traces[5], 615, 284)));

  // A target cleared between paints (a backing store with an alpha channel
  // clears the region it paints), a paint of part of the area, and a
  // different image get the whole picture.
  for (const auto Format : {QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB32}) {
    SCOPED_TRACE(Format);
    TScopeCanvas A;
    QImage Store(615, 284, Format);
    const auto Paint = [&](const TScopeSamples& Samples, const QRegion& Clip) {
      QPainter P(&Store);
      if (!Clip.isEmpty())
        P.paintEngine()->setSystemClip(Clip);
      A.Paint(P, Samples, 615, 284, true);
    };
    const auto Exact = [](const TScopeSamples& Samples) { return Exported(Samples, 615, 284); };
    Store.fill(Qt::transparent);
    Paint(Traces[3], {});
    EXPECT_TRUE(A.LastPaintWhole());
    Paint(Traces[4], {});
    EXPECT_FALSE(A.LastPaintWhole());
    EXPECT_EQ(Store.convertToFormat(QImage::Format_RGB32), Exact(Traces[4]));
    Store.fill(Qt::transparent);
    Paint(Traces[5], {});
    EXPECT_TRUE(A.LastPaintWhole());
    EXPECT_EQ(Store.convertToFormat(QImage::Format_RGB32), Exact(Traces[5]));
    Paint(Traces[3], QRegion(0, 0, 615, 100));
    EXPECT_TRUE(A.LastPaintWhole());
    Paint(Traces[4], QRegion(0, 0, 615, 284));
    EXPECT_FALSE(A.LastPaintWhole());
    EXPECT_EQ(Store.convertToFormat(QImage::Format_RGB32), Exact(Traces[4]));
    QImage Other = Store.copy();
    {
      QPainter P(&Other);
      A.Paint(P, Traces[5], 615, 284, true);
    }
    EXPECT_TRUE(A.LastPaintWhole());
  }
}

} // namespace
