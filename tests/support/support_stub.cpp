// Keeps the test-support library non-empty while it has no helpers of its own.
namespace ar4::testing {
int SupportLinked() { return 0; }
}  // namespace ar4::testing
