#pragma once

// Photographed pages with known truth, for the page-finding suites, the evaluator and the
// benchmark. Every photo is made on the spot from real material: printed pages written as small
// PDFs in the base-14 fonts, filled with English prose from the licence texts Debian ships and
// rendered by pdftoppm; desks tiled from GIMP's wood, stone, fabric and cork patterns, plain dark,
// mid-grey and light tables, and GIMP's splash picture as clutter. The page is turned, seen at a
// slant (a projective warp), shaded, lit unevenly, defocused, given sensor noise and passed
// through JPEG. The same index and photo size always give the same photo.
//
// Coordinates are continuous photo coordinates as displayed: x to the right, y down from the top
// row, the photo covering [0, width] x [0, height]. Page coordinates are PDF points from the
// page's top-left corner, the page covering [0, pageWidth] x [0, pageHeight].
#include <memory>
#include <string>
#include <vector>

#include "scan/PageScan.h"

namespace imgdesk::test {

// A plane projective map: (x, y) -> ((m0 x + m1 y + m2) / w, (m3 x + m4 y + m5) / w),
// w = m6 x + m7 y + m8.
struct Homography {
    double m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

    PagePoint Apply(double x, double y) const;
    PagePoint Apply(PagePoint p) const { return Apply(p.x, p.y); }
    Homography Inverse() const;
    // (this after first): Apply(first.Apply(p)).
    Homography After(const Homography& first) const;
    // The map taking from[i] to to[i]; identity when the points are degenerate.
    static Homography FromPoints(const PagePoint from[4], const PagePoint to[4]);
};

enum class Shot {
    Page,     // a page lying on a desk, all four edges in view
    Flatbed,  // a flatbed scan: paper everywhere, a dark strip along one edge, text turned a little
    CloseUp,  // text filling the photo, no page edge, turned up to 40 degrees
    FullFrame,  // the page larger than the photo: its edges lie outside
    Empty,      // the desk alone
};

enum class Desk { Dark, Mid, Light, Wood, Stone, Fabric, Cork, Clutter, White };

// How a sheet's paper is bent: its outline bulges while its corners stay put.
enum class Curl {
    None,
    Barrel,  // two opposite edges bow outwards (a page lifted along its middle)
    Wave,    // the whole page bent one way: one edge bows out, the opposite one in
};

// Other paper lying with the page.
enum class Company {
    None,
    PageUnder,       // a second printed page partly under the page
    PageBeside,      // a second printed page beside it, close by
    StickyInside,    // a yellow sticky note on the page
    StickyOverhang,  // a sticky note on the page, running over its edge
    BookCover,       // the page on a dark book cover (a bigger dark rectangle)
};

enum class Layout { Column, TwoColumns, Table, GreyNotes, Receipt, Card };

// What a photo shows and how it was taken. Lengths are fractions of the photo unless named.
struct PhotoSpec {
    Shot shot = Shot::Page;
    Desk desk = Desk::Dark;
    Layout layout = Layout::Column;
    double turn = 0;            // degrees, the page turned counter-clockwise as displayed
    double area = 0.5;          // the page's share of the photo (Page shots)
    double slant = 0;           // perspective: corners moved by up to this share of the page size
    double slantDirection = 0;  // degrees, the direction the camera leans towards
    double shadow = 0;          // darkening of a soft-edged shadow across the photo, 0 for none
    double linearLight = 0;     // darkening from one side to the other, 0 for none
    double radialLight = 0;     // darkening towards the corners, 0 for none
    double blur = 0.5;          // defocus, Gaussian sigma in pixels of a 1200 x 900 photo
    double noise = 2;           // sensor noise, standard deviation in levels
    int quality = 85;           // JPEG quality, 0 for none
    bool card = false;          // a business card lies on the desk beside the page
    unsigned seed = 1;          // the rest: placement, texture offsets, noise

    // Harder conditions, all off in the first set (HardPhotoSet uses them).
    double contrast = 0;         // White desk: its grey level this far below the paper's
    double contactShadow = 0.3;  // darkening of the thin shadow along a sheet's edge
    Curl curl = Curl::None;
    double bulge = 0;         // the curl's largest outline displacement, share of the page's size
    bool curlAcross = false;  // the curl bows the left and right edges instead of top and bottom
    double cornerRadius = 0;  // rounded page corners, points
    double dogEar = 0;        // the top-right corner folded over, its legs this share of the width
    double hardShadow = 0;    // darkening of a sharp-edged shadow (a phone or a hand)
    bool hardShadowBand =
        false;  // the shadow a band (a phone held over the page), not a half-plane
    Company company = Company::None;
    double outOfFrame = 0;     // share of the page beyond one border of the photo
    double foreshorten = 0;    // the page's far side this much shorter than its near side
    double photoScale = 1;     // the photo's size against the set's
    double motion = 0;         // motion blur, length in pixels of a 1200 x 900 photo
    double vignette = 0;       // darkening at the photo's corners, centred on the photo
    double warmth = 0;         // warm light: blue weakened by this share, green by 40% of it
    double gloss = 0;          // strength of a glossy highlight on the page, 0 for none
    bool glossAtEdge = false;  // the highlight reaches over the page's edge
    bool spread = false;       // a book spread: two facing pages with a dark gutter
    int fingers = 0;           // fingers or a thumb holding the page at one edge
};

struct PhotoTruth {
    Homography pageToPhoto;  // page points -> photo coordinates
    double pageWidth = 0;    // the page in points
    double pageHeight = 0;
    // The page's top-left, top-right, bottom-right and bottom-left corners in the photo (outside
    // the photo for the shots without page edges).
    PagePoint corners[4] = {};
    // The turn that makes the page upright, as PageScanResult::turnDegrees gives it.
    double turnDegrees = 0;
    // The part of the page covered by text lines, in points (where levelling is measured).
    double textLeft = 0, textTop = 0, textRight = 0, textBottom = 0;
    bool hasPage = true;
    PageFoundBy expected = PageFoundBy::PageEdges;
    // Where the page to cut out is a matter of choice (a book spread, a page running out of the
    // photo), only what every user expects is held to: the text kept and level within a degree.
    bool ambiguous = false;
    // The % of the page's area between its true outline and the quadrilateral of its corners
    // (curled paper): desk kept by a finder that follows the bulging edges.
    double outlineSlack = 0;
};

struct Photo {
    int index = 0;
    std::string name;    // short identifier, letters, digits and underscores
    std::string labels;  // the conditions, for reports
    PhotoSpec spec;
    PhotoTruth truth;
    int width = 0;
    int height = 0;
    // 24-bit blue, green, red, bottom-up rows at the platform's stride, as decoded after JPEG.
    std::vector<unsigned char> pixels;
    std::vector<unsigned char> jpeg;  // the encoded photo; empty when quality is 0
};

class PhotoSet {
public:
    // Photos of width x height (landscape; flatbed scans come as the portrait of the same size).
    // Rendered pages are kept in cacheDir (made when missing; by default a folder under the
    // system's temporary folder named after the pages' contents, so that test programs run in
    // turn share it and a changed page never meets an old rendering).
    explicit PhotoSet(int width = 1200, int height = 900, std::string cacheDir = {});
    ~PhotoSet();
    PhotoSet(const PhotoSet&) = delete;
    PhotoSet& operator=(const PhotoSet&) = delete;

    static int Count();
    static const PhotoSpec& Spec(int index);
    // Name and labels without making the photo.
    static std::string Name(int index);
    static std::string Labels(int index);

    // Makes photo index (0 <= index < Count()). Throws std::runtime_error when a page cannot be
    // rendered or a texture read (pdftoppm or the GIMP data missing).
    Photo Make(int index) const;

private:
    friend class HardPhotoSet;
    Photo Render(const PhotoSpec& spec, int index) const;

    struct Material;
    std::unique_ptr<Material> material_;
    int width_;
    int height_;
};

// The harder photographs: what phone pictures of documents have and the first set lacks (a white
// page on a white table, curled and dog-eared paper, hard shadows, other papers, a page running out
// of the photo, strong perspective, small and heavily compressed photos, motion blur, vignetting
// and warm light, glossy highlights, book spreads, fingers at the edge). Made as PhotoSet makes
// its photos, with the same truth; photoScale makes some smaller than the set's size.
class HardPhotoSet {
public:
    explicit HardPhotoSet(int width = 1200, int height = 900, std::string cacheDir = {});

    static int Count();
    static const PhotoSpec& Spec(int index);
    static std::string Name(int index);
    static std::string Labels(int index);
    Photo Make(int index) const;

private:
    PhotoSet base_;
};

}  // namespace imgdesk::test
