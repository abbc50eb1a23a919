// A document over PDF bytes whose cross-reference table is read, with page
// and image records filled by hand, so that the stream and image stages can
// be run on their own.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "TestSupport.h"

struct TStreamDoc {
    THeadlessUi ui;
    TPdfDocument doc{ui};

    static std::unique_ptr<TStreamDoc> FromBytes(const std::string& bytes) {
        auto d = std::make_unique<TStreamDoc>();
        d->doc.Assign(bytes);
        TFilePos sectionPos = 0;
        EXPECT_TRUE(d->doc.LocateStartXref(sectionPos));
        d->doc.ReadXrefChain(sectionPos);
        EXPECT_FALSE(d->doc.parseFailed);
        return d;
    }
    static std::unique_ptr<TStreamDoc> FromCorpus(const std::string& file) {
        const std::vector<uint8_t> bytes = ReadFileBytes(CorpusPath(file));
        return FromBytes(std::string(bytes.begin(), bytes.end()));
    }

    // Position of the first value token of an object ("<<" of a dictionary).
    TFilePos BodyPos(int32_t objNum) {
        EXPECT_TRUE(doc.FetchObject(objNum));
        return doc.GetPos();
    }

    // A page whose /XObject dictionary is the body of object xobjectDictObj.
    TPageRecord& AddPageWithXObjects(int32_t xobjectDictObj) {
        TPageRecord* page = doc.pageList.Append();
        page->hasXObjects = 1;
        page->xobjectDictPos = BodyPos(xobjectDictObj);
        return *page;
    }

    // A page whose content streams are the given objects.
    TPageRecord& AddPageWithContents(const std::vector<int32_t>& contentObjs) {
        TPageRecord* page = doc.pageList.Append();
        for (int32_t objNum : contentObjs) {
            TContentRef* ref = page->contentRefs.Append();
            ref->objNum = objNum;
            ref->valid = 1;
        }
        return *page;
    }

    // An image record for the XObject `objNum`, as CollectImages makes it.
    void AddImage(const std::string& resName, int32_t objNum, int32_t pageIndex = 0) {
        const TFilePos pos = BodyPos(objNum);
        TImageRecord* image = doc.imageList.Append();
        image->resName = resName;
        image->objectPos = pos;
        image->pageIndex = pageIndex;
    }

    void ReadAndDecodeImages() {
        doc.ReadImageDicts();
        doc.DecodeImages();
    }

    const TImageRecord* Image(const std::string& resName) const {
        for (const TImageRecord& image : doc.imageList)
            if (image.resName == resName) return &image;
        return nullptr;
    }
};
