// Placeholder translation unit until the instruments land.
