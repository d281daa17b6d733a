// Feeds the input to the digest in pieces whose sizes the input's own bytes choose, and
// checks the result against the one-shot digest of the same bytes.
#include "zyrMD5.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size) {
  unsigned char whole[ZYR_MD5_DIGEST_SIZE];
  zyrMD5_digest(data, size, whole);

  zyrMD5Context context;
  MD5Init(&context);
  size_t at = 0;
  size_t step = size > 0 ? data[0] : 0;
  while (at < size) {
    size_t n = step % (size - at + 1);
    MD5Update(&context, data + at, n);
    if (n == 0) MD5Update(&context, data + at, n = 1);  // empty pieces too, yet always onward
    at += n;
    step = step * 31 + (at < size ? data[at] : 0) + 1;
  }
  unsigned char pieces[ZYR_MD5_DIGEST_SIZE];
  MD5Final(pieces, &context);
  if (std::memcmp(whole, pieces, sizeof whole) != 0) std::abort();
  return 0;
}
