// The sink that keeps a file's encryption when it is written: every object
// the writer hands over is enciphered with its own key before it goes out.
#pragma once

#include <cstdint>
#include <string>

#include "OutputFile.h"
#include "Security.h"

class TEncryptingSink : public TByteSink {
public:
    // Without a handler the bytes pass straight through. Object
    // `plainObjNum` (the /Encrypt dictionary) is written as it comes.
    TEncryptingSink(TByteSink& out, const TSecurityHandler* security, int32_t plainObjNum)
        : out_(out), security_(security), plainObjNum_(plainObjNum) {}

    void Write(const void* data, size_t size) override;
    using TByteSink::Write;
    // The writer asks for the position in front of every object and in front
    // of the cross-reference table: the objects written since the last call
    // are enciphered and sent on first, so the position is that of the file.
    int64_t Position() const override;
    // The /Encrypt dictionary is written as a new object of this number.
    void KeepPlain(int32_t objNum) {
        Flush();
        plainObjNum_ = objNum;
    }

private:
    void Flush() const;

    TByteSink& out_;
    const TSecurityHandler* security_;
    int32_t plainObjNum_;
    mutable std::string pending_;
};
