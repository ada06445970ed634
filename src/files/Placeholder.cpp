// Placeholder translation unit until the file formats land.
