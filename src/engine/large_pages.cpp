#include "engine/large_pages.h"

#include <sys/mman.h>

#include <cstdint>
#include <mutex>
#include <opencv2/core.hpp>

namespace vantorix {
namespace {

constexpr size_t kHugePage = size_t(2) << 20;

size_t round_up(size_t n, size_t to) { return (n + to - 1) / to * to; }

class LargePageAllocator final : public cv::MatAllocator {
public:
    explicit LargePageAllocator(cv::MatAllocator* small) : small_(small) {}

    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data0, size_t* step, cv::AccessFlag flags,
                           cv::UMatUsageFlags usage) const override {
        size_t total = CV_ELEM_SIZE(type);
        for (int i = 0; i < dims; ++i) total *= static_cast<size_t>(sizes[i]);
        if (data0 || total < kLargeMatrixBytes) return small_->allocate(dims, sizes, type, data0, step, flags, usage);
        void* data = map(total);
        if (!data) return small_->allocate(dims, sizes, type, data0, step, flags, usage);
        // Rows packed densely, as the default allocator lays them out.
        size_t stride = CV_ELEM_SIZE(type);
        for (int i = dims - 1; i >= 0; --i) {
            if (step) step[i] = stride;
            stride *= static_cast<size_t>(sizes[i]);
        }
        auto* u = new cv::UMatData(this);
        u->data = u->origdata = static_cast<uchar*>(data);
        u->size = total;
        return u;
    }

    bool allocate(cv::UMatData* u, cv::AccessFlag, cv::UMatUsageFlags) const override { return u != nullptr; }

    void deallocate(cv::UMatData* u) const override {
        if (!u) return;
        CV_Assert(u->urefcount == 0 && u->refcount == 0);
        ::munmap(u->origdata, round_up(u->size, kHugePage));
        delete u;
    }

private:
    // A mapping of `size` rounded up to whole 2 MiB pages, starting on a 2 MiB
    // boundary, or null.
    static void* map(size_t size) {
        const size_t length = round_up(size, kHugePage);
        void* raw = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED) return nullptr;
        const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
        const uintptr_t aligned = round_up(start, kHugePage);
        // Give back the parts before and after the aligned range.
        if (aligned > start) ::munmap(raw, aligned - start);
        const uintptr_t end = start + length + kHugePage;
        if (end > aligned + length) ::munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
        ::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);  // a hint: ignored where unsupported
        return reinterpret_cast<void*>(aligned);
    }

    cv::MatAllocator* small_;
};

}  // namespace

void use_large_pages_for_matrices() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Never destroyed: matrices may outlive every static of this library.
        static auto* allocator = new LargePageAllocator(cv::Mat::getDefaultAllocator());
        cv::Mat::setDefaultAllocator(allocator);
    });
}

}  // namespace vantorix
