// Text measuring with an installed font, found through fontconfig and read
// with FreeType: the same geometry in the window, the command-line tool and
// the tests. "Arial" resolves to a metric-compatible face (Liberation Sans).
#pragma once

#include <memory>
#include <string>

#include "DocumentUi.h"

class TFreeTypeMeasurer : public TTextMeasurer {
public:
    TFreeTypeMeasurer();
    ~TFreeTypeMeasurer() override;

    int32_t Dpi() override;
    int32_t CharWidth(uint8_t ch, int32_t emHeightPx) override;
    void TextExtent(const std::string& text, int32_t emHeightPx, int32_t& widthPx, int32_t& heightPx) override;
    void SetFont(const std::string& family, bool bold, bool italic) override;
    std::string FaceName() override;

    // The resolution reported by Dpi(); 96 where there is no screen.
    void SetDpi(int32_t dpi);
    // The family of the font file actually measured (for "Arial" usually
    // "Liberation Sans"); empty when no font was found and fixed
    // proportions stand in.
    std::string ResolvedFamily() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};
