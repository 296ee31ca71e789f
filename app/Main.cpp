#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
  QApplication Application(argc, argv);
  QMainWindow Window;
  Window.setWindowTitle("HXT24");
  Window.resize(625, 375);
  Window.show();
  return Application.exec();
}
