#pragma once
// Owner-drawn push buttons painted in their own colour:
//   TColorBtn         a push button in its Color, with the visual-style face when one is
//                     active and UseTheme is set;
//   TBitColorBtn      adds an image taken by name from a TBitmapList (and, when disabled,
//                     DisableID's image or the embossed silhouette of the image) and the
//                     caption's position relative to it;
//   TFlatBitColorBtn  a flat button that rises under the mouse (Cool), stays down
//                     (Toggle, Down, DownFixed), excludes the other flat buttons of its
//                     GroupIndex anywhere in the process, and can draw a frame line.
//
// The model (properties, writers, the Down and group rules, hot tracking) is portable;
// the messages and the painting are in uColorBtn_win.cpp. The drawing arithmetic is in
// uColorBtnLayout.h.
#include "components/uBitmapList.h"
#include "components/uBitmapListClient.h"
#include "components/uColorBtnLayout.h"
#include "components/uGraphUtils.h"
#include "toolkit/uControls.h"

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

class TColorBtn : public TButton {
public:
    explicit TColorBtn(TComponent* owner);
    ~TColorBtn() override;
    std::string ClassName() const override { return "TColorBtn"; }
    void GetProperties(TPropList& props) override;

    bool Emphasis() const { return FEmphasis; }
    virtual void SetEmphasis(bool v);
    bool UseTheme() const { return FUseTheme; }
    void SetUseTheme(bool v);
    bool SyncFontColor() const { return FSyncFontColor; }
    void SetSyncFontColor(bool v);
    // The mouse is over the button.
    bool Hot() const { return FHot; }

    TNotifyEvent OnDblClick;

    // Mouse enter and leave (from WM_MOUSEMOVE with TrackMouseEvent, and WM_MOUSELEAVE).
    virtual void MouseEnter();
    virtual void MouseLeave();

#ifdef _WIN32
    std::intptr_t WndProc(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) override;

    virtual void DrawItem(const DRAWITEMSTRUCT& item);
    // Paints the face; r receives the rectangle left for the content.
    virtual void DrawFace(bool down, RECT& r);
    virtual void DrawFocus(bool focused);
    virtual void DrawContent(bool down, const RECT& r);
#endif

protected:
    void CreateParams(TCreateParams& params) override;
    void ApplyChange(TChange what) override;
    void ColorChanged() override;
    // The font colour follows the button colour when SyncFontColor is set.
    void SyncFont();
    void SetHot(bool v) {
        FHot = v;
    }
    // Invalidates and paints at once.
    void Repaint();
    // Copies the inherited published properties, with this class's defaults.
    void InheritedProperties(TPropList& props);

#ifdef _WIN32
    HDC FCanvas = nullptr; // the device context being painted, only while painting
    bool Themed() const;   // visual styles are active
    HWND Hwnd() const {
        return static_cast<HWND>(Handle());
    }
    // The font the caption is drawn in: the parent form's with visual styles, else the button's.
    HFONT CaptionFont(bool formFont) const;
#endif

private:
    bool FHot = false;
    bool FEmphasis = true;
    bool FSyncFontColor = false;
    bool FUseTheme = true;
#ifdef _WIN32
    bool FTracking = false; // TrackMouseEvent is waiting for the mouse to leave
#endif
};

// The image name a new TBitColorBtn shows (and the default not stored).
inline constexpr char kDefaultImageID[] = "Image";

class TBitColorBtn : public TColorBtn, public IBitmapListClient {
public:
    explicit TBitColorBtn(TComponent* owner);
    ~TBitColorBtn() override;
    std::string ClassName() const override { return "TBitColorBtn"; }
    void GetProperties(TPropList& props) override;
    void Loaded() override;

    TBitmapList* BitmapList() const { return FBitmapList; }
    const std::string& ImageID() const { return FImageID; }
    void SetImageID(const std::string& v);
    const std::string& DisableID() const { return FDisableID; }
    void SetDisableID(const std::string& v);
    TCaptionPosition CaptionPosition() const { return FCaptionPosition; }
    virtual void SetCaptionPosition(TCaptionPosition v);
    // The name of the image shown now: DisableID when disabled and set, else ImageID.
    std::string CurrentImageName() const;
    // The image and mask shown now (both emptied without a list).
    virtual void GetImages(bool down, TBitmap& image, TBitmap& mask);

    // IBitmapListClient
    void GetImageNames(std::vector<std::string>& list) override;
    void Reserved() override {}
    void Invalidate() override { TControl::Invalidate(); }
    // Unregisters from the old list, registers with the new one and repaints.
    void SetBitmapList(TBitmapList* list) override;
    TBitmapList* GetBitmapList() override { return FBitmapList; }

#ifdef _WIN32
    void DrawItem(const DRAWITEMSTRUCT& item) override;
    void DrawContent(bool down, const RECT& r) override;
    virtual void DrawImage(int x, int y, const TBitmap& mask, const TBitmap& image);
#endif

private:
    TBitmapList* FBitmapList = nullptr;
    // A list named in a definition before it was read: found when loading ends.
    std::string FPendingList;
    TCaptionPosition FCaptionPosition = cpBottom;
    std::string FImageID = kDefaultImageID;
    std::string FDisableID;
};

class TFlatBitColorBtn : public TBitColorBtn {
public:
    explicit TFlatBitColorBtn(TComponent* owner);
    ~TFlatBitColorBtn() override;
    std::string ClassName() const override { return "TFlatBitColorBtn"; }
    void GetProperties(TPropList& props) override;

    bool Cool() const { return FCool; }
    void SetCool(bool v);
    bool Toggle() const { return FToggle; }
    void SetToggle(bool v) { FToggle = v; }
    bool Down() const { return FDown; }
    // A down button with DownFixed stays down. Otherwise the value is stored; a button
    // going down raises the other down buttons of its group (OnUp for each), then OnDown
    // or OnUp fires and the button repaints.
    void SetDown(bool v);
    bool DownFixed() const { return FDownFixed; }
    void SetDownFixed(bool v) { FDownFixed = v; }
    std::int32_t GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(std::int32_t v) { FGroupIndex = v; }
    bool ClosingLine() const { return FClosingLine; }
    void SetClosingLine(bool v);
    TColor ClosingLineColor() const { return FClosingLineColor; }
    void SetClosingLineColor(TColor v);

    TNotifyEvent OnDown, OnUp, OnMouseIn, OnMouseOut;

    void MouseEnter() override;
    void MouseLeave() override;

    // Every flat button of the process, in creation order.
    static const std::vector<TFlatBitColorBtn*>& Instances();

#ifdef _WIN32
    std::intptr_t WndProc(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) override;
    void DrawFace(bool down, RECT& r) override;
    void DrawFocus(bool focused) override;
    // The left button is held on the button.
    bool Pressed() const;
#endif

private:
    bool FCool = false;
    bool FToggle = false;
    bool FDown = false;
    bool FDownFixed = false;
    std::int32_t FGroupIndex = 0;
    bool FClosingLine = false;
    TColor FClosingLineColor = clBlack;
};
