// placeholder, replaced by the window
int main() { return 0; }
