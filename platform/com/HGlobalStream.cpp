#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "platform/com/ObjBase.h"

namespace {

// What a stream and its clones share: the block, its logical size and who frees it.
struct SharedBlock {
    HGLOBAL block = nullptr;
    ULONGLONG size = 0;
    bool deleteOnRelease = false;
    ~SharedBlock() {
        if (deleteOnRelease)
            GlobalFree(block);
    }
};

class HGlobalStream final : public IStream {
public:
    explicit HGlobalStream(std::shared_ptr<SharedBlock> shared, ULONGLONG position = 0)
        : shared_(std::move(shared)), position_(position) {}

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT Read(void* buffer, ULONG size, ULONG* read) override {
        if (read)
            *read = 0;
        if (!buffer && size)
            return STG_E_INVALIDPOINTER;
        const ULONGLONG available = position_ < shared_->size ? shared_->size - position_ : 0;
        const ULONG count = static_cast<ULONG>(std::min<ULONGLONG>(size, available));
        if (count) {
            const BYTE* data = static_cast<const BYTE*>(GlobalLock(shared_->block));
            if (!data)
                return E_FAIL;
            std::memcpy(buffer, data + position_, count);
            GlobalUnlock(shared_->block);
            position_ += count;
        }
        if (read)
            *read = count;
        return count == size ? S_OK : S_FALSE;
    }

    HRESULT Write(const void* buffer, ULONG size, ULONG* written) override {
        if (written)
            *written = 0;
        if (!buffer && size)
            return STG_E_INVALIDPOINTER;
        if (size == 0)
            return S_OK;
        const ULONGLONG end = position_ + size;
        if (end > shared_->size) {
            ULARGE_INTEGER newSize;
            newSize.QuadPart = end;
            if (FAILED(SetSize(newSize)))
                return STG_E_MEDIUMFULL;
        }
        BYTE* data = static_cast<BYTE*>(GlobalLock(shared_->block));
        if (!data)
            return E_FAIL;
        std::memcpy(data + position_, buffer, size);
        GlobalUnlock(shared_->block);
        position_ = end;
        if (written)
            *written = size;
        return S_OK;
    }

    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        LONGLONG base = 0;
        switch (origin) {
            case STREAM_SEEK_SET:
                base = 0;
                break;
            case STREAM_SEEK_CUR:
                base = static_cast<LONGLONG>(position_);
                break;
            case STREAM_SEEK_END:
                base = static_cast<LONGLONG>(shared_->size);
                break;
            default:
                return STG_E_INVALIDFUNCTION;
        }
        const LONGLONG target = base + move.QuadPart;
        if (target < 0)
            return STG_E_INVALIDFUNCTION;
        position_ = static_cast<ULONGLONG>(target);
        if (newPosition)
            newPosition->QuadPart = position_;
        return S_OK;
    }

    HRESULT SetSize(ULARGE_INTEGER newSize) override {
        const ULONGLONG wanted = newSize.QuadPart;
        if (wanted > 0x7FFFFFFFu)
            return STG_E_MEDIUMFULL;
        if (wanted > GlobalSize(shared_->block)) {
            // Grow geometrically so that a run of small writes stays linear.
            const SIZE_T capacity =
                static_cast<SIZE_T>(std::max<ULONGLONG>(wanted, shared_->size * 3 / 2));
            if (!GlobalReAlloc(shared_->block, capacity, GMEM_MOVEABLE) &&
                !GlobalReAlloc(shared_->block, static_cast<SIZE_T>(wanted), GMEM_MOVEABLE))
                return E_OUTOFMEMORY;
        }
        shared_->size = wanted;
        return S_OK;
    }

    HRESULT CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                   ULARGE_INTEGER* written) override {
        if (read)
            read->QuadPart = 0;
        if (written)
            written->QuadPart = 0;
        if (!target)
            return STG_E_INVALIDPOINTER;
        const ULONGLONG available = position_ < shared_->size ? shared_->size - position_ : 0;
        const ULONGLONG count = std::min<ULONGLONG>(size.QuadPart, available);
        if (count > 0xFFFFFFFFu)
            return STG_E_MEDIUMFULL;
        const BYTE* data = static_cast<const BYTE*>(GlobalLock(shared_->block));
        if (!data && count)
            return E_FAIL;
        ULONG done = 0;
        const HRESULT result = target->Write(data + position_, static_cast<ULONG>(count), &done);
        GlobalUnlock(shared_->block);
        position_ += count;
        if (read)
            read->QuadPart = count;
        if (written)
            written->QuadPart = done;
        return result;
    }

    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return S_OK; }
    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }

    HRESULT Stat(STATSTG* stat, DWORD) override {
        if (!stat)
            return STG_E_INVALIDPOINTER;
        std::memset(stat, 0, sizeof(*stat));
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = shared_->size;
        return S_OK;
    }

    HRESULT Clone(IStream** clone) override {
        if (!clone)
            return STG_E_INVALIDPOINTER;
        *clone = new (std::nothrow) HGlobalStream(shared_, position_);
        return *clone ? S_OK : E_OUTOFMEMORY;
    }

    HGLOBAL Block() const { return shared_->block; }

private:
    std::shared_ptr<SharedBlock> shared_;
    ULONGLONG position_;
    std::atomic<ULONG> references_{1};
};

}  // namespace

HRESULT CreateStreamOnHGlobal(HGLOBAL block, BOOL deleteOnRelease, LPSTREAM* stream) {
    if (!stream)
        return E_INVALIDARG;
    *stream = nullptr;
    bool ownBlock = false;
    if (!block) {
        block = GlobalAlloc(GMEM_MOVEABLE, 0);
        if (!block)
            return E_OUTOFMEMORY;
        ownBlock = true;
    }
    std::shared_ptr<SharedBlock> shared;
    try {
        shared = std::make_shared<SharedBlock>();
    } catch (const std::bad_alloc&) {
        if (ownBlock)
            GlobalFree(block);
        return E_OUTOFMEMORY;
    }
    shared->block = block;
    shared->size = GlobalSize(block);
    *stream = new (std::nothrow) HGlobalStream(shared);
    if (!*stream) {
        // A caller's block stays the caller's when no stream could be made.
        if (ownBlock)
            GlobalFree(block);
        return E_OUTOFMEMORY;
    }
    shared->deleteOnRelease = deleteOnRelease != FALSE;
    return S_OK;
}

HRESULT GetHGlobalFromStream(LPSTREAM stream, HGLOBAL* block) {
    if (!block)
        return E_INVALIDARG;
    *block = nullptr;
    auto* memoryStream = dynamic_cast<HGlobalStream*>(stream);
    if (!memoryStream)
        return E_INVALIDARG;
    *block = memoryStream->Block();
    return S_OK;
}
