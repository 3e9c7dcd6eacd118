// Keeps the library non-empty until the first unit lands.
namespace winplat { int placeholder_unit = 0; }
